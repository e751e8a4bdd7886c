// The zip module (pellora-zip.so): the archive library's functions as the application's table.
// It links the archive library and nothing of the application.

#include "platform/ZipModule.h"

extern "C" __attribute__((visibility("default"))) const platform::zipmodule::Functions* pellora_zip_functions()
{
    static const platform::zipmodule::Functions table{
        &::zip_open,
        &::zip_open_from_source,
        &::zip_close,
        &::zip_discard,
        &::zip_strerror,
        &::zip_get_num_entries,
        &::zip_stat_init,
        &::zip_stat_index,
        &::zip_file_get_external_attributes,
        &::zip_fopen_index,
        &::zip_fread,
        &::zip_fclose,
        &::zip_file_strerror,
        &::zip_dir_add,
        &::zip_file_add,
        &::zip_source_buffer,
        &::zip_source_file,
        &::zip_source_function_create,
        &::zip_source_free,
        &::zip_error_init,
        &::zip_error_init_with_code,
        &::zip_error_fini,
        &::zip_error_set,
        &::zip_error_strerror,
        &::zip_error_to_data,
    };
    return &table;
}
