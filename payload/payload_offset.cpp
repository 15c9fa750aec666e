#include "payload/payload_offset.h"

#include "archive/format.h"

namespace {
// Not const: it must stay in the initialised data, where the build patches it.
__attribute__((used)) volatile PayloadOffsetRecord payload_offset_record = {
    {0x7F, 's', 'f', 'x', 'o', 'f', 's', 0x1A}, default_payload_offset};
} // namespace

const volatile std::uint32_t* payload_offset_field() {
    return &payload_offset_record.payload_offset;
}
