#pragma once
// The system's file dialogs as the program's commands use them.
#include <windows.h>

#include <optional>
#include <string>

namespace brim {

enum class FileChoice { kMovie, kIcon, kProjector };

// The path the user chose, or nothing when they cancelled or the dialog failed; a failing
// dialog (not a plain cancel) has said so with the program's message by then.
std::optional<std::string> ChooseFile(HWND owner, FileChoice choice);

}  // namespace brim
