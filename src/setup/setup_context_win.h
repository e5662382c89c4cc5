// What start-up finds out before any page or step. Built once in startup/, then handed down by
// reference to the window or to the unattended run; nothing below writes it back.
#pragma once
#include <cstdint>
#include <optional>

#include "common/digests.h"
#include "common/product_config.h"
#include "common/version.h"
#include "system/handles_win.h"

struct SetupContext {
    // Silent: no window at all. Passive: the progress page only, nothing asked, no box; both end
    // with an exit code that tells what happened.
    enum class Mode { Interactive, Silent, Passive };
    Mode mode = Mode::Interactive;
    bool uninstallMode = false;
    Version offeredVersion;
    Sha256Digest archiveSha256{};  // of the offered version's archive, from the signed version file
    double archiveSize = 0;        // its size in bytes, from the same file
    std::optional<Sha256Digest> notesSha256;  // of the release notes; none when the release has none
    Version installedVersion;
    std::int32_t isInstalled = NOT_RECORDED;  // the IsInstalled record as start-up found it
    // The executable's own file, held from the start: the copies are read from it, never by path.
    FileHandle image;
};
