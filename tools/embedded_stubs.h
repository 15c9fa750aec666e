// The stubs built together with this sfxkit and embedded in it: "win32" (the default), "win64" and
// "native", the stub for the system sfxkit itself runs on (in a Windows build, the win64 one).
// Which of them a build holds depends on what could be built alongside it.
#pragma once

#include <optional>
#include <span>
#include <string_view>

// The stub's bytes, or nothing when this sfxkit was built without it.
std::optional<std::span<const unsigned char>> embedded_stub(std::string_view name);
