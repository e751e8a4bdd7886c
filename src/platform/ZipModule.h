#pragma once

#include <QString>

#include <zip.h>

// The zip archive functions the application uses, from the zip module (pellora-zip.so), which
// is loaded when an archive is first read or written. Code that works with archives calls them
// through this table, never the archive library directly, so that the application itself does
// not load it at start-up.
namespace platform::zipmodule {

inline constexpr const char* kFileName = "pellora-zip.so";
inline constexpr const char* kEntrySymbol = "pellora_zip_functions";

struct Functions {
    decltype(&::zip_open) open;
    decltype(&::zip_open_from_source) openFromSource;
    decltype(&::zip_close) close;
    decltype(&::zip_discard) discard;
    decltype(&::zip_strerror) strerror;
    decltype(&::zip_get_num_entries) getNumEntries;
    decltype(&::zip_stat_init) statInit;
    decltype(&::zip_stat_index) statIndex;
    decltype(&::zip_file_get_external_attributes) fileGetExternalAttributes;
    decltype(&::zip_fopen_index) fopenIndex;
    decltype(&::zip_fread) fread;
    decltype(&::zip_fclose) fclose;
    decltype(&::zip_file_strerror) fileStrerror;
    decltype(&::zip_dir_add) dirAdd;
    decltype(&::zip_file_add) fileAdd;
    decltype(&::zip_source_buffer) sourceBuffer;
    decltype(&::zip_source_file) sourceFile;
    decltype(&::zip_source_function_create) sourceFunctionCreate;
    decltype(&::zip_source_free) sourceFree;
    decltype(&::zip_error_init) errorInit;
    decltype(&::zip_error_init_with_code) errorInitWithCode;
    decltype(&::zip_error_fini) errorFini;
    decltype(&::zip_error_set) errorSet;
    decltype(&::zip_error_strerror) errorStrerror;
    decltype(&::zip_error_to_data) errorToData;
};

// What the module's entry point (kEntrySymbol) is.
using Entry = const Functions* (*)();

// The table, loading the module the first time; null when the module is missing (the reason
// is logged once and given in `error`).
const Functions* functions(QString* error = nullptr);

} // namespace platform::zipmodule
