// The sanitizer build's options for the chat tests alone: the web engine's own library frees
// some of its objects through a base type of another size than it allocated them with, which
// AddressSanitizer reports as a new/delete type mismatch inside libQt6WebEngineCore. That
// report is the library's, not ours, so only this check is off, and only in this binary.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif
