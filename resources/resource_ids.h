/* Resource ids of the stub, shared by the resource script and the launcher's code. */
#ifndef SFXKIT_RESOURCE_IDS_H
#define SFXKIT_RESOURCE_IDS_H

#define IDI_SETUP 103    /* icon group: 32 x 32 and 16 x 16, 16 colours */
#define IDD_PROGRESS 104 /* dialog template of the progress window */

#endif
