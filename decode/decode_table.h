// The decode table builder: turns the code lengths of one alphabet into the lookup structure of a
// canonical prefix code, after checking that the lengths form a complete code.
//
// The structure is a direct table indexed by the next b stream bits and, for codes longer than b
// bits, binary trees hanging from the table's top entries. A value v in a table entry or a child
// entry is a symbol when v < N (the alphabet size) and a tree node when v >= N. Nodes are numbered
// from N upward, so the literal/length tree (nodes 510 to 1018) and the tree of a short alphabet
// (17 to 36) share the two child arrays without meeting.
//
// Lookup, with w the next 16 stream bits:
//   s = table[w >> (16 - b)]; mask = 1 << (15 - b);
//   while (s >= N) { s = (w & mask) ? one_child[s] : zero_child[s]; mask >>= 1; }
// and the code of s takes lengths[s] bits.
#pragma once

#include <cstdint>

constexpr int tree_node_limit = 1019; // 2 * 510 - 1: what the literal/length alphabet can need
constexpr int max_code_length = 16;

extern std::int32_t zero_child[tree_node_limit]; // node k's child for a 0 bit
extern std::int32_t one_child[tree_node_limit];  // node k's child for a 1 bit

// Builds the table (2^table_bits entries, at most table_capacity of them written) and the tree
// nodes for the alphabet 0 .. alphabet_size - 1 with the given code lengths (0: no code, 1 to 16).
// Raises DecodeAbort, before writing anything, when a length is above 16 (unsigned, so negative
// ones too) or the lengths do not form a complete prefix code; and when a store would leave the
// table or the child arrays. After a successful build every table entry has been written; child
// entries of nodes the build does not create keep their contents.
void build_decode_table(int alphabet_size, const std::int32_t* lengths, int table_bits,
                        std::int32_t* table, int table_capacity);
