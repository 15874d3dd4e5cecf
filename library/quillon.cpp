// The C API over BarcodeSession: each call clears the last call's message and warnings, runs
// the session's step, and turns its Outcome into a status and a message. No exception leaves.
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "library/PageHooks.h"
#include "library/compact/CompactPng.h"
#include "library/session/BarcodeSession.h"
#include "quillon/quillon.h"

struct quillon_barcode {
    BarcodeSession session;
    Outcome opened;  // why the component could not be created, if it could not
    DataEncoding data_mode = DataEncoding::kBytes;
    PictureRequest request;
    int compression = 0;  // quillon_set_compression's level
    std::string message;
    std::vector<std::string> warnings;
    // The last PNG, kept for quillon_png_into's second call until a setting changes.
    std::string kept_png;
    std::vector<std::string> kept_warnings;  // those of the call that made it
    bool png_kept = false;
};

// The header's figure is the contract's, which C callers cannot include.
static_assert(QUILLON_MAX_DATA_BYTES == kMaxDataLength);
static_assert(QUILLON_PDF417 == kSymbologyPdf417 && QUILLON_MICROPDF417 == kSymbologyMicroPdf417);

namespace {

// The component is apartment-threaded: every thread that calls the library joins an
// apartment once, and stays in it (its class objects are kept for the thread's life).
void JoinApartment() {
    thread_local const bool joined = [] {
        // A thread already in the other kind of apartment can still create our objects.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        return true;
    }();
    (void)joined;
}

quillon_status StatusOf(Failure failure) {
    switch (failure) {
        case Failure::None:
            return QUILLON_OK;
        case Failure::UnknownProperty:
            return QUILLON_UNKNOWN_PROPERTY;
        case Failure::BadValue:
            return QUILLON_BAD_VALUE;
        case Failure::Refused:
            return QUILLON_REFUSED;
        case Failure::DoesNotFit:
            return QUILLON_DOES_NOT_FIT;
        case Failure::TooLarge:
            return QUILLON_TOO_LARGE;
        case Failure::Internal:
            break;
    }
    return QUILLON_INTERNAL;
}

quillon_status Fail(quillon_barcode* barcode, quillon_status status, std::string message) {
    if (barcode != nullptr) barcode->message = std::move(message);
    return status;
}

// Runs `step` on a barcode that exists and whose component was created: `step` returns an
// Outcome, or a status with the message already set. Changing steps drop the kept picture.
template <typename Step>
quillon_status Run(quillon_barcode* barcode, bool changes, Step step) {
    if (barcode == nullptr) return QUILLON_INVALID_ARGUMENT;
    try {
        JoinApartment();
        barcode->message.clear();
        barcode->warnings.clear();
        if (changes) barcode->png_kept = false;
        if (!barcode->opened.ok()) {
            return Fail(barcode, StatusOf(barcode->opened.failure), barcode->opened.message);
        }
        const auto result = step();
        if constexpr (std::is_same_v<decltype(result), const Outcome>) {
            if (!result.ok()) return Fail(barcode, StatusOf(result.failure), result.message);
            return QUILLON_OK;
        } else {
            return result;
        }
    } catch (const std::bad_alloc&) {
        return Fail(barcode, QUILLON_TOO_LARGE, "out of memory");
    } catch (...) {
        return Fail(barcode, QUILLON_INTERNAL, "unexpected failure");
    }
}

bool IsDataMode(int mode) {
    return mode == QUILLON_DATA_BYTES || mode == QUILLON_DATA_UTF8 || mode == QUILLON_DATA_TEXT;
}

DataEncoding EncodingOf(quillon_data_mode mode) {
    return mode == QUILLON_DATA_UTF8   ? DataEncoding::kUtf8
           : mode == QUILLON_DATA_TEXT ? DataEncoding::kText
                                       : DataEncoding::kBytes;
}

quillon_status SetByText(quillon_barcode* barcode, const char* name, std::string_view value) {
    return Run(barcode, true, [&]() -> quillon_status {
        if (name == nullptr) return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no property name");
        const Outcome outcome = barcode->session.Apply({{name, std::string(value)}},
                                                       barcode->data_mode, &barcode->warnings);
        return outcome.ok() ? QUILLON_OK
                            : Fail(barcode, StatusOf(outcome.failure), outcome.message);
    });
}

// The PNG of the current settings, handed to use(bytes): the one kept from a call that could
// not take it, or one made now, read where the component left it.
template <typename Use>
Outcome WithPng(quillon_barcode* barcode, Use use) {
    if (barcode->png_kept) {
        barcode->warnings = barcode->kept_warnings;
        use(std::string_view(barcode->kept_png));
        return {};
    }
    PictureRequest request = barcode->request;
    request.format = PictureFormat::kPng;
    ByteArray png;
    std::string_view bytes;
    const Outcome outcome = barcode->session.PngPicture(request, &png, &bytes, &barcode->warnings);
    if (!outcome.ok()) return outcome;
    std::string compact;
    if (barcode->compression != 0 && CompactPng(bytes, &compact)) bytes = compact;
    use(bytes);
    return outcome;
}

// A copy of `bytes` in memory from malloc, NUL-terminated, for quillon_free_buffer.
char* MallocCopy(std::string_view bytes) {
    char* copy = static_cast<char*>(std::malloc(bytes.size() + 1));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, bytes.data(), bytes.size());
    copy[bytes.size()] = '\0';
    return copy;
}

// A set of the data given, made by the session: the whole set, or the one symbol asked for.
quillon_status MakeMacroSet(quillon_barcode* barcode, const void* data, size_t size,
                            quillon_data_mode mode, const MacroRequest& request, MacroSet* set) {
    if (data == nullptr && size != 0) return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no data");
    if (!IsDataMode(mode)) return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no such data mode");
    return Run(barcode, true, [&] {
        PictureRequest picture = barcode->request;
        picture.format = PictureFormat::kPng;
        const Outcome outcome = barcode->session.MacroPictures(
            std::string_view(static_cast<const char*>(data), size), EncodingOf(mode), request,
            picture, set, &barcode->warnings);
        if (barcode->compression != 0) {
            for (std::string& file : set->files) CompactPng(&file);
        }
        return outcome;
    });
}

// calloc, for a set's arrays, whose unfilled entries quillon_free_png_set then skips.
template <typename T>
T* Calloc(std::size_t count) {
    T* block = static_cast<T*>(std::calloc(count == 0 ? 1 : count, sizeof(T)));
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

// The set in memory from malloc, for quillon_free_png_set.
quillon_png_set* MallocSet(const MacroSet& made) {
    quillon_png_set* set = Calloc<quillon_png_set>(1);
    try {
        set->pngs = Calloc<unsigned char*>(made.files.size());
        set->sizes = Calloc<size_t>(made.files.size());
        for (const std::string& file : made.files) {
            set->pngs[set->count] = reinterpret_cast<unsigned char*>(MallocCopy(file));
            set->sizes[set->count++] = file.size();
        }
    } catch (...) {
        quillon_free_png_set(set);
        throw;
    }
    return set;
}

}  // namespace

extern "C" {

const char* quillon_version(void) {
    return QUILLON_VERSION;
}

quillon_barcode* quillon_create(void) {
    quillon_barcode* barcode = new (std::nothrow) quillon_barcode;
    if (barcode == nullptr) return nullptr;
    try {
        JoinApartment();
        barcode->opened = barcode->session.Open();
        barcode->message = barcode->opened.message;
    } catch (...) {
        delete barcode;
        return nullptr;
    }
    return barcode;
}

void quillon_free(quillon_barcode* barcode) {
    if (barcode == nullptr) return;
    JoinApartment();
    delete barcode;
}

quillon_status quillon_set(quillon_barcode* barcode, const char* name, const char* value) {
    if (value == nullptr) return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no value");
    return SetByText(barcode, name, value);
}

quillon_status quillon_set_n(quillon_barcode* barcode, const char* name, const char* value,
                             size_t size) {
    if (value == nullptr && size != 0) return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no value");
    return SetByText(barcode, name, std::string_view(value == nullptr ? "" : value, size));
}

quillon_status quillon_set_int(quillon_barcode* barcode, const char* name, long value) {
    return SetByText(barcode, name, std::to_string(value));
}

quillon_status quillon_set_double(quillon_barcode* barcode, const char* name, double value) {
    // The shortest text that reads back as `value`, with a decimal point whatever the locale.
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return SetByText(barcode, name, std::string(text, written.ptr));
}

quillon_status quillon_set_data(quillon_barcode* barcode, const void* data, size_t size,
                                quillon_data_mode mode) {
    if (data == nullptr && size != 0) return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no data");
    if (!IsDataMode(mode)) return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no such data mode");
    return Run(barcode, true, [&] {
        const std::string_view bytes(static_cast<const char*>(data), size);
        return barcode->session.SetData(bytes, EncodingOf(mode), &barcode->warnings);
    });
}

quillon_status quillon_set_text(quillon_barcode* barcode, const char* utf8) {
    if (utf8 == nullptr) return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no text");
    return quillon_set_data(barcode, utf8, std::strlen(utf8), QUILLON_DATA_UTF8);
}

quillon_status quillon_set_data_mode(quillon_barcode* barcode, quillon_data_mode mode) {
    if (!IsDataMode(mode)) return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no such data mode");
    return Run(barcode, true, [&] {
        barcode->data_mode = EncodingOf(mode);
        return Outcome{};
    });
}

quillon_status quillon_set_fit(quillon_barcode* barcode, int fit) {
    return Run(barcode, true, [&] {
        barcode->request.sizing.fit = fit != 0;
        return Outcome{};
    });
}

quillon_status quillon_set_quiet_zone(quillon_barcode* barcode, int modules) {
    return Run(barcode, true, [&]() -> quillon_status {
        if (!kQuietZoneRange.Contains(modules)) {
            return Fail(barcode, QUILLON_INVALID_ARGUMENT,
                        "the quiet zone is a whole number of modules from " +
                            std::to_string(kQuietZoneRange.low) + " to " +
                            std::to_string(kQuietZoneRange.high));
        }
        barcode->request.sizing.quiet_zone = modules;
        return QUILLON_OK;
    });
}

quillon_status quillon_set_max_pixels(quillon_barcode* barcode, long long pixels) {
    return Run(barcode, true, [&]() -> quillon_status {
        if (pixels < 0) {
            return Fail(barcode, QUILLON_INVALID_ARGUMENT, "the pixel limit is 0 (none) or more");
        }
        barcode->request.max_pixels = pixels;
        return QUILLON_OK;
    });
}

quillon_status quillon_set_compression(quillon_barcode* barcode, int level) {
    return Run(barcode, true, [&]() -> quillon_status {
        if (level != 0 && level != 1) {
            return Fail(barcode, QUILLON_INVALID_ARGUMENT,
                        "compression " + std::to_string(level) +
                            ": 0 is the component's stored PNG, 1 the compressed one");
        }
        barcode->compression = level;
        return QUILLON_OK;
    });
}

quillon_status quillon_png(quillon_barcode* barcode, unsigned char** png, size_t* size) {
    if (png == nullptr || size == nullptr) {
        return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no place for the picture");
    }
    *png = nullptr;
    *size = 0;
    return Run(barcode, false, [&] {
        return WithPng(barcode, [&](std::string_view bytes) {
            *png = reinterpret_cast<unsigned char*>(MallocCopy(bytes));
            *size = bytes.size();
        });
    });
}

quillon_status quillon_png_into(quillon_barcode* barcode, unsigned char* buffer, size_t capacity,
                                size_t* size) {
    if (size == nullptr || (buffer == nullptr && capacity != 0)) {
        return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no place for the picture");
    }
    *size = 0;
    return Run(barcode, false, [&]() -> quillon_status {
        bool fits = false;
        const Outcome outcome = WithPng(barcode, [&](std::string_view bytes) {
            *size = bytes.size();
            fits = capacity >= bytes.size();
            if (fits) {
                std::memcpy(buffer, bytes.data(), bytes.size());
            } else if (!barcode->png_kept) {
                // Kept for the next call, with a buffer large enough.
                barcode->kept_png.assign(bytes);
                barcode->kept_warnings = barcode->warnings;
                barcode->png_kept = true;
            }
        });
        if (!outcome.ok()) return Fail(barcode, StatusOf(outcome.failure), outcome.message);
        if (!fits) {
            return Fail(barcode, QUILLON_BUFFER_TOO_SMALL,
                        "the picture takes " + std::to_string(*size) + " bytes; the buffer holds " +
                            std::to_string(capacity));
        }
        return QUILLON_OK;
    });
}

quillon_status quillon_svg(quillon_barcode* barcode, char** svg, size_t* size) {
    if (svg == nullptr || size == nullptr) {
        return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no place for the picture");
    }
    *svg = nullptr;
    *size = 0;
    return Run(barcode, false, [&] {
        PictureRequest request = barcode->request;
        request.format = PictureFormat::kSvg;
        std::string file;
        const Outcome outcome = barcode->session.Picture(request, &file, &barcode->warnings);
        if (outcome.ok()) {
            *svg = MallocCopy(file);
            *size = file.size();
        }
        return outcome;
    });
}

void quillon_free_buffer(void* buffer) {
    std::free(buffer);
}

quillon_status quillon_macro_png(quillon_barcode* barcode, const void* data, size_t size,
                                 quillon_data_mode mode, int segments, quillon_png_set** set) {
    if (set == nullptr) return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no place for the set");
    *set = nullptr;
    MacroSet made;
    const quillon_status status = MakeMacroSet(barcode, data, size, mode, {segments, -1}, &made);
    if (status != QUILLON_OK) return status;
    try {
        *set = MallocSet(made);
    } catch (...) {
        return Fail(barcode, QUILLON_TOO_LARGE, "out of memory");
    }
    return QUILLON_OK;
}

void quillon_free_png_set(quillon_png_set* set) {
    if (set == nullptr) return;
    for (size_t i = 0; i < set->count; ++i) std::free(set->pngs[i]);
    std::free(set->pngs);
    std::free(set->sizes);
    std::free(set);
}

quillon_status quillon_macro_segment_png(quillon_barcode* barcode, const void* data, size_t size,
                                         quillon_data_mode mode, int segments, int index,
                                         unsigned char** png, size_t* png_size, int* count) {
    if (png == nullptr || png_size == nullptr) {
        return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no place for the picture");
    }
    *png = nullptr;
    *png_size = 0;
    if (count != nullptr) *count = 0;
    if (index < 0) {
        return Fail(barcode, QUILLON_INVALID_ARGUMENT, "the symbols are numbered from 0");
    }
    MacroSet made;
    const quillon_status status = MakeMacroSet(barcode, data, size, mode, {segments, index}, &made);
    if (status != QUILLON_OK || made.files.empty()) return status;
    try {
        *png = reinterpret_cast<unsigned char*>(MallocCopy(made.files.front()));
    } catch (...) {
        return Fail(barcode, QUILLON_TOO_LARGE, "out of memory");
    }
    *png_size = made.files.front().size();
    if (count != nullptr) *count = made.count;
    return QUILLON_OK;
}

quillon_status quillon_measure(quillon_barcode* barcode, quillon_measurement* measurement) {
    if (measurement == nullptr) {
        return Fail(barcode, QUILLON_INVALID_ARGUMENT, "no place for the measurement");
    }
    return Run(barcode, false, [&] {
        Measurement figures;
        const Outcome outcome =
            barcode->session.Measure(barcode->request.sizing, &figures, &barcode->warnings);
        *measurement = {figures.rows, figures.columns, figures.width, figures.height};
        return outcome;
    });
}

long long quillon_picture_pixels(const quillon_barcode* barcode) {
    return barcode == nullptr ? 0 : barcode->session.picture_pixels();
}

const char* quillon_message(const quillon_barcode* barcode) {
    return barcode == nullptr ? "no barcode object" : barcode->message.c_str();
}

size_t quillon_warning_count(const quillon_barcode* barcode) {
    return barcode == nullptr ? 0 : barcode->warnings.size();
}

const char* quillon_warning(const quillon_barcode* barcode, size_t index) {
    if (barcode == nullptr || index >= barcode->warnings.size()) return nullptr;
    return barcode->warnings[index].c_str();
}

quillon_status quillon_start_page(quillon_barcode* barcode, void* context) {
    return Run(barcode, true,
               [&] { return barcode->session.StartPage(static_cast<IUnknown*>(context)); });
}

quillon_status quillon_end_page(quillon_barcode* barcode) {
    return Run(barcode, true, [&] { return barcode->session.EndPage(); });
}

}  // extern "C"
