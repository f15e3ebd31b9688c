// The program catches no exception: an error of the standard library (memory exhausted, a
// string beyond its largest size) ends it. The library's own way there builds an exception
// object with a message, which brings in the exception runtime, the thread library it needs,
// a second std::string and a name demangler: more than half of the program. These end it at
// once instead. Only the program links them; the tests keep the library's own.
//
// Each helper the program's code calls needs its line here: if one is missing, the library's
// file of them comes back and the link fails on the ones defined twice.

#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    std::abort();
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

// NOLINTBEGIN(bugprone-reserved-identifier)
namespace std {
[[noreturn]] void __throw_bad_alloc() {
    std::abort();
}
[[noreturn]] void __throw_bad_array_new_length() {
    std::abort();
}
[[noreturn]] void __throw_bad_function_call() {
    std::abort();
}
[[noreturn]] void __throw_length_error(const char*) {
    std::abort();
}
[[noreturn]] void __throw_logic_error(const char*) {
    std::abort();
}
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) {
    std::abort();
}
}  // namespace std
// NOLINTEND(bugprone-reserved-identifier)
