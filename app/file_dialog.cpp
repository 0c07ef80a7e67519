#include "app/file_dialog.h"

#include <commdlg.h>

#include "base/bounded_text.h"
#include "base/show_message.h"
#include "resources/resource_ids.h"

namespace brim {

std::optional<std::string> ChooseFile(HWND owner, FileChoice choice) {
  static constexpr struct {
    const char* filter;  // pairs of texts, each ending in a zero, the list ending in another
    const char* extension;
    UINT title;
    UINT failure;
    bool save;
  } kChoices[] = {
      {"Flash (*.swf)\0*.swf\0All Files (*.*)\0*.*\0", "swf", IDS_SELECT_FLASH_FILE,
       IDS_FILE_OPEN_ERROR, false},
      {"Icon (*.ico)\0*.ico\0All Files (*.*)\0*.*\0", "ico", IDS_SELECT_FLASH_FILE,
       IDS_FILE_OPEN_ERROR, false},
      {"Execution (*.exe)\0*.exe\0All Files (*.*)\0*.*\0", "exe", IDS_CREATE_EXECUTION_FILE,
       IDS_FILE_SAVE_ERROR, true},
  };
  const auto& c = kChoices[static_cast<int>(choice)];
  char title[256] = {};
  LoadStringA(GetModuleHandleA(nullptr), c.title, title, sizeof title);
  char path[kPathCapacity] = {};
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.hInstance = GetModuleHandleA(nullptr);
  dialog.lpstrFilter = c.filter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path;
  dialog.nMaxFile = sizeof path;
  dialog.lpstrTitle = title;
  dialog.lpstrDefExt = c.extension;
  // A new projector is a file that does not exist yet, so saving asks only for its folder, and
  // asks before replacing a file that is there.
  dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST |
                 (c.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  const BOOL chosen = c.save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
  if (chosen && path[0]) return std::string(path);
  if (CommDlgExtendedError() != 0) ShowMessage(c.failure, owner);
  return std::nullopt;
}

}  // namespace brim
