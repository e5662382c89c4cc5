#include "common/product_config.h"

#include "common/resource_ids.h"
#include "common/text.h"

namespace {
ProductConfig& instance() {
    static ProductConfig config;
    return config;
}
}  // namespace

ProductConfig makeProductConfig(const std::wstring& baseUrl, const std::wstring& programFilesX86,
                                const std::wstring& selfPath) {
    ProductConfig c;
    c.selfPath = selfPath;
    c.selfFileName = fileNamePart(selfPath);
    c.installerTitle = L"Lumidex SSD Flashdeck Installer";
    c.downloadRoot = baseUrl + L"Flashdeck/";
    c.vendorFolder = programFilesX86 + L"\\Lumidex\\";
    c.installFolder = c.vendorFolder + L"SSD Flashdeck\\";
    c.releaseNotesFileName = L"LumidexSSDFlashdeckReleaseNotes.pdf";
    c.brandName = L"Lumidex";
    c.productDisplayName = L"Lumidex SSD Flashdeck";
    c.shortcutName = L"Lumidex SSD Flashdeck";
    c.appExeName = L"LumidexSSDFlashdeck.exe";
    c.appArchiveName = L"LumidexFlashdeck.zip";
    c.logoImageId = LOGO_IMAGE_ID;
    c.logoWidth = 130;
    c.logoHeight = 34;
    c.logoLeft = 15;
    c.logoTop = 260;
    return c;
}

const ProductConfig& productConfig() { return instance(); }

void setProductConfig(const ProductConfig& config) { instance() = config; }
