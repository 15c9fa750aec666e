// The decode table builder (see decode_table.h for the structure it produces). Reads one alphabet's
// code lengths; writes its direct table and the tree nodes of its codes longer than the table's
// width, or raises DecodeAbort when the lengths are not a complete prefix code.
//
// The canonical code: codes are handed out by length, shortest first, and within one length by
// ascending symbol. Aligned to 16 bits, first(1) = 0 and first(L + 1) = first(L) + count(L) *
// 2^(16 - L); the code is complete exactly when first(17) = 2^16, which rejects over-full and
// incomplete lists, a single code and a list without any code alike.
#include "decode/decode_table.h"

#include "archive/decode_abort.h"

std::int32_t zero_child[tree_node_limit];
std::int32_t one_child[tree_node_limit];

void build_decode_table(int alphabet_size, const std::int32_t* lengths, int table_bits,
                        std::int32_t* table, int table_capacity) {
    std::uint32_t length_count[max_code_length + 1] = {};
    for (int j = 0; j < alphabet_size; ++j) {
        const std::uint32_t length = static_cast<std::uint32_t>(lengths[j]);
        if (length > max_code_length) raise_decode_abort();
        ++length_count[length];
    }

    std::uint32_t first_code[max_code_length + 2];
    first_code[1] = 0;
    for (int length = 1; length <= max_code_length; ++length) {
        first_code[length + 1] = first_code[length] + (length_count[length] << (16 - length));
    }
    if (first_code[max_code_length + 1] != 0x10000u) raise_decode_abort();

    // Codes up to table_bits long are kept in table units, one code spanning 2^(b - L) entries;
    // longer ones stay aligned to 16 bits, their low 16 - b bits choosing the tree path.
    const int b = table_bits;
    std::uint32_t code_span[max_code_length + 1];
    for (int length = 1; length <= max_code_length; ++length) {
        if (length <= b) {
            first_code[length] >>= 16 - b;
            code_span[length] = 1u << (b - length);
        } else {
            code_span[length] = 1u << (16 - length);
        }
    }

    // The trees hang from the entries at the table's top end, after every short code; they start
    // empty (0: nothing hangs there yet). Entries below are all written by the fill.
    const std::uint32_t table_size = 1u << b;
    const std::uint32_t capacity = static_cast<std::uint32_t>(table_capacity);
    const std::uint32_t tree_start = first_code[b + 1] >> (16 - b);
    for (std::uint32_t i = tree_start; i < table_size; ++i) {
        if (i >= capacity) raise_decode_abort();
        table[i] = 0;
    }

    // A 0 in a place means "no node yet" and also a leaf of symbol 0, but the fill never passes
    // through a leaf of a prefix code, so the two never meet. A complete code has at most N - 1
    // internal nodes, so nodes stay below 2N - 1; the limit test only guards the child arrays.
    int next_node = alphabet_size;
    const std::uint32_t branch_mask = 1u << (15 - b);
    for (int j = 0; j < alphabet_size; ++j) {
        const int length = lengths[j];
        if (length == 0) continue;
        std::uint32_t code = first_code[length];
        if (length <= b) {
            const std::uint32_t end = code + code_span[length];
            if (end > capacity) raise_decode_abort();
            for (std::uint32_t i = code; i < end; ++i) table[i] = j;
        } else {
            const std::uint32_t index = code >> (16 - b);
            if (index >= capacity) raise_decode_abort();
            std::int32_t* place = &table[index];
            for (int level = b; level < length; ++level) {
                if (*place == 0) {
                    if (next_node >= tree_node_limit) raise_decode_abort();
                    zero_child[next_node] = 0;
                    one_child[next_node] = 0;
                    *place = next_node++;
                }
                const std::int32_t node = *place;
                if (node < alphabet_size) raise_decode_abort(); // a leaf: cannot happen, see above
                place = (code & branch_mask) ? &one_child[node] : &zero_child[node];
                code <<= 1;
            }
            *place = j;
        }
        first_code[length] += code_span[length];
    }
}
