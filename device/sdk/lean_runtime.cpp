// The C++ runtime's error reporting, for the programs that ship to devices.
// Nothing in them throws, and none of them catches: a failure the standard
// library would report by an exception (a string grown past its maximum, an
// allocation that fails inside a container) ends the program, as an uncaught
// exception would. Ending it at once keeps out the exception objects, their
// strings and the verbose terminate handler with its name demangler, which
// together are a third of a small program. The set is what the runtime's
// own file of these helpers defines, so that the linker never needs it.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
[[noreturn]] void __throw_bad_exception() { abort(); }
[[noreturn]] void __throw_bad_alloc() { abort(); }
[[noreturn]] void __throw_bad_array_new_length() { abort(); }
[[noreturn]] void __throw_bad_cast() { abort(); }
[[noreturn]] void __throw_bad_typeid() { abort(); }
[[noreturn]] void __throw_logic_error(const char*) { abort(); }
[[noreturn]] void __throw_domain_error(const char*) { abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { abort(); }
[[noreturn]] void __throw_length_error(const char*) { abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { abort(); }
[[noreturn]] void __throw_runtime_error(const char*) { abort(); }
[[noreturn]] void __throw_range_error(const char*) { abort(); }
[[noreturn]] void __throw_overflow_error(const char*) { abort(); }
[[noreturn]] void __throw_underflow_error(const char*) { abort(); }
// A lock that cannot be taken, from the mutexes of the standard library.
[[noreturn]] void __throw_system_error(int) { abort(); }
}  // namespace std
