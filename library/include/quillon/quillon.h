/* libquillon: PDF417 and MicroPDF417 barcodes as PNG or SVG files, from C.
 *
 * A barcode object is set up by property names and values, as a page script sets the
 * component's properties ("Data", "ErrorCorrectionLevel", "NarrowBarWidth", ...; names in any
 * case, values converted from text as a script's strings are), then asked for a picture or for
 * the symbol's measurements:
 *
 *     quillon_barcode *barcode = quillon_create();
 *     quillon_set_text(barcode, "Hello");
 *     quillon_set(barcode, "ErrorCorrectionLevel", "4");
 *     unsigned char *png; size_t size;
 *     if (quillon_png(barcode, &png, &size) == QUILLON_OK) { ...; quillon_free_buffer(png); }
 *     else fprintf(stderr, "%s\n", quillon_message(barcode));
 *     quillon_free(barcode);
 *
 * MicroPDF417, the small symbol of 1 to 4 data columns, is the property "Symbology":
 * quillon_set_int(barcode, "Symbology", QUILLON_MICROPDF417), with "MicroColumns" and
 * "MicroRows" for its size (0: chosen for the data).
 *
 * Unless Width or Height is set, the picture is sized to the whole symbol and a quiet zone of
 * 2 modules on every side (quillon_set_fit, quillon_set_quiet_zone), as the quillon command
 * does; the properties' own defaults are otherwise the component's.
 *
 * Failures: every call that can fail returns a quillon_status; quillon_message then says
 * which property, which value and why. Warnings: what a call did, but not quite as asked (a
 * value outside the accepted range is ignored, text mode replaces a character, the picture
 * cuts the symbol off), is listed by quillon_warning_count and quillon_warning until the next
 * call on the same object.
 *
 * Threads: an object belongs to one thread at a time (the component is apartment-threaded);
 * different objects may be used on different threads at once. The library initialises the
 * component runtime on each thread that calls it; nothing needs to be set up first.
 *
 * Strings given are NUL-terminated UTF-8 unless a size goes with them; strings returned stay
 * valid until the next call on the same object, or until it is freed.
 */
#ifndef QUILLON_QUILLON_H
#define QUILLON_QUILLON_H

#include <stddef.h>

#include "quillon/version.h"

#if defined(__GNUC__)
#define QUILLON_API __attribute__((visibility("default")))
#else
#define QUILLON_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct quillon_barcode quillon_barcode;

typedef enum quillon_status {
    QUILLON_OK = 0,
    QUILLON_UNKNOWN_PROPERTY = 1, /* no settable property of that name */
    QUILLON_BAD_VALUE = 2,        /* the value cannot be converted to the property's type */
    QUILLON_REFUSED = 3,          /* the component refused the value or the settings */
    QUILLON_DOES_NOT_FIT = 4,     /* the data needs more than one symbol holds */
    QUILLON_TOO_LARGE = 5,        /* the picture is above the pixel limit, or memory's */
    QUILLON_INTERNAL = 6,         /* the component or its runtime failed */
    QUILLON_BUFFER_TOO_SMALL = 7, /* quillon_png_into: *size says how many bytes are needed */
    QUILLON_INVALID_ARGUMENT = 8  /* a null pointer where one is needed, or a value out of range */
} quillon_status;

/* How Data text reaches the symbol. */
typedef enum quillon_data_mode {
    QUILLON_DATA_BYTES = 0, /* any bytes, the zero byte included, each carried as it is */
    QUILLON_DATA_UTF8 = 1,  /* UTF-8 text, carried as its UTF-8 bytes; other text is refused.
                             * Text beyond ASCII also sets Eci 26 (UTF-8), unless Eci is set */
    QUILLON_DATA_TEXT = 2,  /* Windows-1252 text, as a script's string: others become '?' */
    /* No mode: makes any int a value of the type, so that the library can refuse others. */
    QUILLON_DATA_MODE_MAX_ENUM = 0x7FFFFFFF
} quillon_data_mode;

typedef struct quillon_measurement {
    int rows;
    int columns;
    int width; /* pixels along the rows, whatever the orientation */
    int height;
} quillon_measurement;

#define QUILLON_DEFAULT_QUIET_ZONE 2        /* modules on every side */
#define QUILLON_MAX_QUIET_ZONE 100          /* modules */
#define QUILLON_DEFAULT_MAX_PIXELS 16777216 /* a picture's width times height */
#define QUILLON_MAX_DATA_BYTES 4999         /* bytes Data holds */
#define QUILLON_MAX_MACRO_DATA_BYTES 65536  /* bytes a Macro PDF417 set carries */
#define QUILLON_MAX_MACRO_SEGMENTS 99       /* symbols in a Macro PDF417 set */
#define QUILLON_MACRO_AUTO 0                /* segments: the fewest that fit the settings */
#define QUILLON_PDF417 0                    /* "Symbology": PDF417, the default */
#define QUILLON_MICROPDF417 1               /* "Symbology": MicroPDF417 */

/* The library's version, "4.0.0.1": the same as QUILLON_VERSION, from the library loaded. */
QUILLON_API const char *quillon_version(void);

/* A new barcode object with the component's defaults; NULL only when memory runs out. When
 * the component cannot be created, quillon_message says why at once, and every later call
 * fails with QUILLON_INTERNAL and says it again. */
QUILLON_API quillon_barcode *quillon_create(void);
QUILLON_API void quillon_free(quillon_barcode *barcode);

/* Sets a property from text, as a script's string: "Orientation" "1", "TruncateSymbol"
 * "True", "Y2XRatio" "2.5"; the colours also take "#RRGGBB". "Data" is read as
 * quillon_set_data_mode says. */
QUILLON_API quillon_status quillon_set(quillon_barcode *barcode, const char *name,
                                       const char *value);
/* The same, for a value of `size` bytes, which may hold zero bytes: Data's, read in text mode
 * up to its first zero byte (with a warning) or carried whole in the other modes. */
QUILLON_API quillon_status quillon_set_n(quillon_barcode *barcode, const char *name,
                                         const char *value, size_t size);
QUILLON_API quillon_status quillon_set_int(quillon_barcode *barcode, const char *name, long value);
QUILLON_API quillon_status quillon_set_double(quillon_barcode *barcode, const char *name,
                                              double value);

/* Sets Data from `size` bytes read as `mode` says: QUILLON_DATA_BYTES carries all of them, up
 * to QUILLON_MAX_DATA_BYTES. */
QUILLON_API quillon_status quillon_set_data(quillon_barcode *barcode, const void *data, size_t size,
                                            quillon_data_mode mode);
/* Sets Data from NUL-terminated UTF-8 text. */
QUILLON_API quillon_status quillon_set_text(quillon_barcode *barcode, const char *utf8);
/* How quillon_set reads a "Data" value (default QUILLON_DATA_BYTES). Outside text mode the
 * mode sets HandleTilde itself, and a HandleTilde setting is ignored with a warning. */
QUILLON_API quillon_status quillon_set_data_mode(quillon_barcode *barcode, quillon_data_mode mode);

/* Picture sizing: with `fit` non-zero both sides are sized to the symbol and its quiet zone
 * even when Width or Height is set; `modules` (0..QUILLON_MAX_QUIET_ZONE) is that quiet zone;
 * `pixels` refuses a larger picture with QUILLON_TOO_LARGE (0: no limit). */
QUILLON_API quillon_status quillon_set_fit(quillon_barcode *barcode, int fit);
QUILLON_API quillon_status quillon_set_quiet_zone(quillon_barcode *barcode, int modules);
QUILLON_API quillon_status quillon_set_max_pixels(quillon_barcode *barcode, long long pixels);

/* How the PNG files are written: 0 (the default) is the component's own file, its image data
 * stored uncompressed; 1 compresses it, for the same pixels in a file many times smaller (the
 * same header and palette; rows of a barcode compress well). Other values are refused with
 * QUILLON_INVALID_ARGUMENT. It applies to quillon_png, quillon_png_into and the Macro PDF417
 * sets alike. */
QUILLON_API quillon_status quillon_set_compression(quillon_barcode *barcode, int level);

/* The PNG file in a buffer the library allocates; free it with quillon_free_buffer. */
QUILLON_API quillon_status quillon_png(quillon_barcode *barcode, unsigned char **png, size_t *size);
/* The PNG file into the caller's buffer of `capacity` bytes; *size is the file's size. With
 * a buffer too small (NULL and 0 to ask), QUILLON_BUFFER_TOO_SMALL, and the picture is kept
 * for the next call unless a setting changes. */
QUILLON_API quillon_status quillon_png_into(quillon_barcode *barcode, unsigned char *buffer,
                                            size_t capacity, size_t *size);
/* The SVG file, NUL-terminated, in a buffer the library allocates (*size without the NUL). */
QUILLON_API quillon_status quillon_svg(quillon_barcode *barcode, char **svg, size_t *size);
QUILLON_API void quillon_free_buffer(void *buffer);
/* The pixels (width times height) of the picture the last quillon_png, quillon_png_into,
 * quillon_svg or quillon_measure sized, also when it refused the picture as too large: a
 * caller can then choose where to draw it. */
QUILLON_API long long quillon_picture_pixels(const quillon_barcode *barcode);

/* Macro PDF417: data too long for one symbol, split over a set of symbols that a reader joins
 * back into the data exactly. `data` is read as `mode` says (text is cut only between
 * characters) and may be up to QUILLON_MAX_MACRO_DATA_BYTES long, whatever Data holds; the
 * set has `segments` symbols (1..QUILLON_MAX_MACRO_SEGMENTS), or with QUILLON_MACRO_AUTO the
 * fewest that fit the other settings. Each symbol is a picture as quillon_png makes it, with
 * MacroSegmentIndex, MacroSegmentCount and (unless it is set) MacroFileId chosen for it: the
 * file ID comes from the data, so the same call gives the same files anywhere. Data that does
 * not fit in that many symbols fails with QUILLON_DOES_NOT_FIT. Afterwards the object's
 * settings and Data are as they were (Columns and Mode as last set, whatever an earlier
 * picture raised them to). */
typedef struct quillon_png_set {
    size_t count;         /* the symbols, in the order of the set */
    unsigned char **pngs; /* count PNG files */
    size_t *sizes;        /* their sizes in bytes */
} quillon_png_set;

QUILLON_API quillon_status quillon_macro_png(quillon_barcode *barcode, const void *data,
                                             size_t size, quillon_data_mode mode, int segments,
                                             quillon_png_set **set);
QUILLON_API void quillon_free_png_set(quillon_png_set *set);
/* One symbol of the same set, `index` from 0 (free *png with quillon_free_buffer); *count,
 * unless NULL, is the set's size, the one QUILLON_MACRO_AUTO chose. An index past the set
 * fails with QUILLON_REFUSED. */
QUILLON_API quillon_status quillon_macro_segment_png(quillon_barcode *barcode, const void *data,
                                                     size_t size, quillon_data_mode mode,
                                                     int segments, int index, unsigned char **png,
                                                     size_t *png_size, int *count);

/* The symbol's rows, columns and size in pixels (the symbol's own, not the picture's). */
QUILLON_API quillon_status quillon_measure(quillon_barcode *barcode,
                                           quillon_measurement *measurement);

/* Why the last call failed ("" after a success); never NULL. */
QUILLON_API const char *quillon_message(const quillon_barcode *barcode);
/* The warnings of the last call, in order; quillon_warning is NULL past the last. */
QUILLON_API size_t quillon_warning_count(const quillon_barcode *barcode);
QUILLON_API const char *quillon_warning(const quillon_barcode *barcode, size_t index);

#ifdef __cplusplus
}
#endif

#endif /* QUILLON_QUILLON_H */
