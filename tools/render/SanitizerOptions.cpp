// AddressSanitizer defaults for the tool's sanitizer build: portSMF frees its
// new[] attribute names with delete at exit, a mismatch outside our code.
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
  return "alloc_dealloc_mismatch=0";
}
#endif
