#include "setup/install_folder_win.h"

#include <windows.h>

#include "localization/text_table.h"
#include "setup/file_system_win.h"
#include "startup/product_config.h"
#include "download/message_box_win.h"

void ensureInstallFolderOrExit(const std::wstring& separator) {
    const std::wstring& folder = productConfig().installFolder;
    if (pathState(folder) == PathState::Exists) return;
    if (createFolderWithParents(folder)) return;
    showMessageBox(text(L"error_creating_folder") + separator + folder, text(L"IDS_TITLE_ERROR"), MB_OK);
    ExitProcess(0);
}
