// Between kesto and the real library (KESTO_REAL_LIBRARY): MSP430_Initialize alone reports
// success, so a pass gets past the opening with no adapter attached and the real library's
// answers to the later steps can be seen.
#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <type_traits>

namespace {

void* real() {
    static void* library = [] {
        const char* path = std::getenv("KESTO_REAL_LIBRARY");
        return path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    }();
    return library;
}

template <typename Function>
Function lookup(const char* name) {
    void* library = real();
    return reinterpret_cast<Function>(library ? dlsym(library, name) : nullptr);
}

constexpr std::int32_t REAL_RELEASE = 31501001;

template <typename Result>
Result missing() {
    if constexpr (std::is_pointer_v<Result>) return "the real library could not be loaded";
    else return -1;
}

}  // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))
#define FORWARD(result, name, params, args)                             \
    EXPORT result name params {                                         \
        using Function = result(*) params;                              \
        static const Function function = lookup<Function>(#name);       \
        return function ? function args : missing<result>();                     \
    }

EXPORT std::int32_t MSP430_Initialize(const char* port, std::int32_t* version) {
    using Function = std::int32_t (*)(const char*, std::int32_t*);
    static const Function function = lookup<Function>("MSP430_Initialize");
    std::int32_t ignored = 0;
    if (function) function(port, &ignored);
    *version = REAL_RELEASE;
    return 0;
}
FORWARD(std::int32_t, MSP430_Configure, (std::int32_t m, std::int32_t v), (m, v))
FORWARD(std::int32_t, MSP430_VCC, (std::int32_t mv), (mv))
FORWARD(std::int32_t, MSP430_GetExtVoltage, (std::int32_t* mv, std::int32_t* s), (mv, s))
FORWARD(std::int32_t, MSP430_Device, (std::int32_t i, std::uint8_t* r, std::int32_t n), (i, r, n))
FORWARD(std::int32_t, MSP430_Erase, (std::int32_t t, std::int32_t a, std::int32_t l), (t, a, l))
FORWARD(std::int32_t, MSP430_EraseCheck, (std::int32_t a, std::int32_t l), (a, l))
FORWARD(std::int32_t, MSP430_ProgramFile, (const char* f, std::int32_t e, std::int32_t v), (f, e, v))
FORWARD(std::int32_t, MSP430_VerifyFile, (const char* f), (f))
FORWARD(std::int32_t, MSP430_ReadOutFile, (std::int32_t a, std::int32_t l, const char* f, std::int32_t t), (a, l, f, t))
FORWARD(std::int32_t, MSP430_Secure, (), ())
FORWARD(std::int32_t, MSP430_Reset, (std::int32_t m, std::int32_t e, std::int32_t r), (m, e, r))
FORWARD(std::int32_t, MSP430_Close, (std::int32_t v), (v))
FORWARD(std::int32_t, MSP430_Error_Number, (), ())
FORWARD(const char*, MSP430_Error_String, (std::int32_t n), (n))
FORWARD(std::int32_t, MSP430_GetNumberOfUsbIfs, (std::int32_t* c), (c))
FORWARD(std::int32_t, MSP430_GetNameOfUsbIf, (std::int32_t i, char** n, std::int32_t* u), (i, n, u))
FORWARD(std::int32_t, MSP430_LoadDeviceDb, (const char* f), (f))
FORWARD(std::int32_t, MSP430_OpenDevice, (const char* d, const char* p, std::int32_t l, std::int32_t c, std::int32_t s),
        (d, p, l, c, s))
FORWARD(std::int32_t, MSP430_GetFoundDevice, (std::uint8_t* r, std::int32_t n), (r, n))
FORWARD(std::int32_t, MSP430_HIL_MEMAP, (), ())
