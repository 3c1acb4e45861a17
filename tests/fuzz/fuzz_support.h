// Shared by the fuzz targets: each input goes through a real file, as the readers see it in a run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <sys/stat.h>

#include "pkg_table.h"

namespace fuzz {

// Stops the run at a broken invariant, so that libFuzzer keeps the input as a crash.
inline void require(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// Writes the input to `path`, creating the parent directories (one level each, as listed).
inline void write_input(const char *path, const uint8_t *data, size_t size,
                        std::initializer_list<const char *> dirs) {
    for (const char *dir : dirs) {
        mkdir(dir, 0755);
    }
    FILE *file = std::fopen(path, "wb");
    require(file != nullptr);
    if (size > 0) {
        require(std::fwrite(data, 1, size, file) == size);
    }
    std::fclose(file);
}

// Every call starts from an empty record and an empty trace log (which would otherwise grow
// without bound over a fuzzing run).
inline PkgInstance &fresh_record(int index) {
    std::remove(zelk::kTraceLogPath);
    std::memset(&pkgInstance[index], 0, sizeof pkgInstance[index]);
    pkgnum = index + 1;
    return pkgInstance[index];
}

inline bool terminated(const char *field, size_t size) {
    return strnlen(field, size) < size;
}

inline bool record_fields_terminated(const PkgInstance &r) {
    bool ok = terminated(r.TFTPPayloadPkgURIs, sizeof r.TFTPPayloadPkgURIs) &&
              terminated(r.StatusLine, sizeof r.StatusLine) &&
              terminated(r.manufacturer, sizeof r.manufacturer) &&
              terminated(r.identificationCode, sizeof r.identificationCode) &&
              terminated(r.type, sizeof r.type) && terminated(r.Name, sizeof r.Name) &&
              terminated(r.supersedes, sizeof r.supersedes) &&
              terminated(r.category, sizeof r.category);
    for (const auto &p : r.preReq) {
        ok = ok && terminated(p, sizeof p);
    }
    for (const auto &p : r.Payloads) {
        ok = ok && terminated(p.PayloadPath, sizeof p.PayloadPath) &&
             terminated(p.DeviceID, sizeof p.DeviceID);
    }
    return ok;
}

// A record nobody should have written: all bytes zero.
inline bool untouched(const PkgInstance &r) {
    static const PkgInstance zero{};
    return std::memcmp(&r, &zero, sizeof r) == 0;
}

} // namespace fuzz
