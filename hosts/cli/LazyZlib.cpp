// zlib, loaded when quillon first calls it. quillon inflates a PNG only to draw it again as SVG,
// and loading libz.so.1 at every start cost a sixth of what a run of "12" takes above starting
// a process. The three entry points that the library's PNG reader calls are defined here, each
// passing the call on to zlib's own; as the program then needs nothing else of zlib, the linker
// (--as-needed) no longer names the library among those to load.
#include <dlfcn.h>
#include <zlib.h>

namespace {

struct Inflater {
    decltype(&::inflateInit_) init = nullptr;
    decltype(&::inflate) inflate = nullptr;
    decltype(&::inflateEnd) end = nullptr;
};

// The library's entry points, all of them or none (zlib cannot be loaded).
const Inflater& Zlib() {
    static const Inflater zlib = [] {
        Inflater found;
        if (void* library = dlopen("libz.so.1", RTLD_NOW | RTLD_LOCAL)) {
            found.init = reinterpret_cast<decltype(found.init)>(dlsym(library, "inflateInit_"));
            found.inflate = reinterpret_cast<decltype(found.inflate)>(dlsym(library, "inflate"));
            found.end = reinterpret_cast<decltype(found.end)>(dlsym(library, "inflateEnd"));
        }
        return found.init && found.inflate && found.end ? found : Inflater{};
    }();
    return zlib;
}

}  // namespace

// A stream that zlib never started is refused by the two others, as zlib itself refuses it.
extern "C" int inflateInit_(z_streamp stream, const char* version, int stream_size) {
    return Zlib().init != nullptr ? Zlib().init(stream, version, stream_size) : Z_VERSION_ERROR;
}

extern "C" int inflate(z_streamp stream, int flush) {
    return Zlib().inflate != nullptr ? Zlib().inflate(stream, flush) : Z_STREAM_ERROR;
}

extern "C" int inflateEnd(z_streamp stream) {
    return Zlib().end != nullptr ? Zlib().end(stream) : Z_STREAM_ERROR;
}
