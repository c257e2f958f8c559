// The File Mode window's values that the engine reads at the moment of use.
//
// FileModeCore keeps the window's copies under a lock (FileModeLiveValues) so any thread
// may read them; tests fill a plain struct. A change takes effect for the next
// datagram, stream or file.
#pragma once

#include <cstdint>
#include <string>

#include "settings/settings_record.h"  // the default templates

namespace vorlanx {

class FileModeLiveOptions {
  public:
    virtual ~FileModeLiveOptions() = default;
    virtual std::string directory() const = 0;      // 1058
    virtual bool overwriteFiles() const = 0;        // 1059
    virtual bool httpOnly() const = 0;              // 1064
    virtual bool acceptPartialContent() const = 0;  // 1133
    virtual uint32_t minFileSize() const = 0;       // 1082, 0 = no limit
    virtual uint32_t maxFileSize() const = 0;       // 1083, 0 = no limit
    // The settings record's templates (General settings), read for each file.
    virtual std::string fileNameTemplate() const = 0;
    virtual std::string dateTimeTemplate() const = 0;
};

// Plain values: for tests and for the window's snapshot.
struct FileModeOptionValues final : FileModeLiveOptions {
    std::string directoryText;
    bool overwrite = false;
    bool onlyHttp = true;
    bool partialContent = true;
    uint32_t minSize = 0;
    uint32_t maxSize = 0;
    std::string nameTemplate = kDefaultFileNameTemplate;
    std::string timeTemplate = kDefaultDateTimeTemplate;

    std::string directory() const override { return directoryText; }
    bool overwriteFiles() const override { return overwrite; }
    bool httpOnly() const override { return onlyHttp; }
    bool acceptPartialContent() const override { return partialContent; }
    uint32_t minFileSize() const override { return minSize; }
    uint32_t maxFileSize() const override { return maxSize; }
    std::string fileNameTemplate() const override { return nameTemplate; }
    std::string dateTimeTemplate() const override { return timeTemplate; }

    // The values a settings record holds (File Mode's fields and the General templates).
    static FileModeOptionValues fromSettings(const SettingsRecord& settings) {
        FileModeOptionValues values;
        values.directoryText = settings.fileDirectory();
        values.overwrite = settings.overwriteFiles();
        values.onlyHttp = settings.httpOnly();
        values.partialContent = settings.acceptPartialContent();
        values.minSize = settings.fileMinSize();
        values.maxSize = settings.fileMaxSize();
        values.nameTemplate = settings.fileNameTemplate();
        values.timeTemplate = settings.dateTimeTemplate();
        return values;
    }
};

}  // namespace vorlanx
