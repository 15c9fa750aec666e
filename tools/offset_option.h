// The --offset option that every inspecting command takes: the payload offset to use instead of
// the one the package's stub holds.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <memory>
#include <optional>

struct OffsetOption {
    std::uint32_t value = 0;
    CLI::Option* option = nullptr;
    std::optional<std::uint32_t> get() const {
        return option && option->count() ? std::optional<std::uint32_t>(value) : std::nullopt;
    }
};

inline std::shared_ptr<OffsetOption> add_offset_option(CLI::App& command) {
    auto offset = std::make_shared<OffsetOption>();
    offset->option = command
                         .add_option("--offset", offset->value,
                                     "Payload offset in bytes, instead of the one the stub holds")
                         ->type_name("N");
    return offset;
}
