// Arbitrary bytes as the settings file: loading gives the file's bytes where it has them
// and the defaults' bytes after them, whatever the file holds; saving that record and
// loading the saved file gives the same bytes again. The record is then read the way the
// windows read it, and what the Filter Setup and General settings store from a record
// they loaded reads back unchanged.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "packetmode/filter_setup.h"
#include "settings/general_settings.h"
#include "settings/settings_file.h"

namespace {

using namespace vorlanx;
using fuzz::check;

// The input as a file the loader can open by path.
struct MemoryFile {
    int fd = ::memfd_create("settings", MFD_CLOEXEC);
    ~MemoryFile() {
        if (fd >= 0)
            ::close(fd);
    }
    bool write(const uint8_t* data, size_t size) {
        size_t put = 0;
        while (put < size) {
            const ssize_t n = ::write(fd, data + put, size - put);
            if (n <= 0)
                return false;
            put += static_cast<size_t>(n);
        }
        return true;
    }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd); }
};

// A folder of this process's own for the saved file, in memory (every run saves), removed
// with the file when the process exits.
std::string g_saveFolder;

void RemoveSaveFolder() {
    ::unlink((g_saveFolder + "/vorlanx.BCS").c_str());
    ::rmdir(g_saveFolder.c_str());
}

const std::string& SaveFolder() {
    if (g_saveFolder.empty()) {
        std::string t = "/dev/shm/vorlanx-settings-fuzz.XXXXXX";
        check(::mkdtemp(t.data()) != nullptr, "a temporary folder is made");
        g_saveFolder = t;
        std::atexit(RemoveSaveFolder);
    }
    return g_saveFolder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFile file;
    if (file.fd < 0 || !file.write(data, size))
        return 0;

    SettingsRecord record;
    LoadSettings(record, file.path());
    const SettingsRecord defaults = SettingsRecord::defaults(DefaultFileDirectory());
    const size_t present = std::min(size, SettingsRecord::kSize);
    check(std::memcmp(record.bytes().data(), data, present) == 0, "the file's bytes are loaded");
    check(std::memcmp(record.bytes().data() + present, defaults.bytes().data() + present,
                      SettingsRecord::kSize - present) == 0,
          "a short file is completed with the defaults");

    // A save is read back byte for byte.
    const std::string saved = SaveFolder() + "/vorlanx.BCS";
    check(SaveSettings(record, saved), "the record is saved");
    SettingsRecord again;
    LoadSettings(again, saved);
    check(again == record, "a saved file loads as the same record");

    // The windows' moves over whatever the file held: what one stores from a record it
    // loaded, it loads and stores again unchanged.
    SettingsRecord filtered = record;
    StoreFilterSetup(LoadFilterSetup(record), filtered);
    const FilterSetupFields fields = LoadFilterSetup(filtered);
    for (const IpFilterFields* f :
         {&fields.srcIp, &fields.srcIpNot, &fields.dstIp, &fields.dstIpNot, &fields.eitherIp}) {
        check(f->rows.size() <= SettingsRecord::kListLength, "at most 100 rows a list");
        check(f->entry.size() < SettingsRecord::kAddressTextWidth, "an entry fits its field");
    }
    SettingsRecord refiltered = filtered;
    StoreFilterSetup(fields, refiltered);
    check(refiltered == filtered, "the Filter Setup stores what it loaded unchanged");

    SettingsRecord general = record;
    GeneralSettings::load(record).store(general);
    SettingsRecord regeneral = general;
    GeneralSettings::load(general).store(regeneral);
    check(regeneral == general, "the General settings store what they loaded unchanged");
    return 0;
}
