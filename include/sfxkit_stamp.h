/* sfxkit_stamp.h: lets a setup program read what its package was stamped with.
 *
 * Include this in one source file of the setup program and read SFXKIT_STAMP.slot. When the
 * launcher unpacks the program it looks for the 50 marker bytes in the file and copies up to 100
 * bytes of the package's tail block (set with `sfxkit pack --tail` or `sfxkit stamp`) into the
 * slot right behind them. Slot bytes beyond the tail block's length keep their values (zeros
 * here); a package without a tail block leaves the slot as it is. Only the first occurrence of
 * the marker in the file is stamped, so define SFXKIT_STAMP once, and do not copy the marker
 * anywhere else in the program. Works from C and C++. */
#ifndef SFXKIT_STAMP_H
#define SFXKIT_STAMP_H

#define SFXKIT_STAMP_MARKER_SIZE 50
#define SFXKIT_STAMP_SLOT_SIZE 100

struct sfxkit_stamp {
    unsigned char marker[SFXKIT_STAMP_MARKER_SIZE];
    unsigned char slot[SFXKIT_STAMP_SLOT_SIZE];
    unsigned char guard; /* the launcher stamps a marker only when more than 100 bytes follow it */
};

#define SFXKIT_STAMP_MARKER_BYTES                                                                  \
    {0x5E, 0xBB, 0xF6, 0x4F, 0xE7, 0x9F, 0xDB, 0x78, 0xF6, 0xDC, 0xCB, 0xCF, 0xBC,                 \
     0xF8, 0xE6, 0xF6, 0xC5, 0x4B, 0xF8, 0x71, 0x65, 0xFB, 0xE6, 0xC5, 0x80, 0x4F,                 \
     0xAE, 0x6F, 0xFF, 0xEF, 0xB7, 0x76, 0x7E, 0xFE, 0xD2, 0xB9, 0x57, 0xAE, 0x5D,                 \
     0xBD, 0xB9, 0x7D, 0xF5, 0xE6, 0xFA, 0x4F, 0xDF, 0xB9, 0xBE, 0x7D}

/* Defines the stamp record: `SFXKIT_DEFINE_STAMP(name);` at file scope. It is volatile, so the
 * compiler neither folds the slot's initial zeros into the code nor drops the record. */
#define SFXKIT_DEFINE_STAMP(name)                                                                  \
    volatile struct sfxkit_stamp name = {SFXKIT_STAMP_MARKER_BYTES, {0}, 0}

#endif
