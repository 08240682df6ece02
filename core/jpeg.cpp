#include "core/jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <limits>
#include <new>
#include <utility>

#include <jerror.h>
#include <jpeglib.h>

#include "core/error.h"
#include "core/fileio.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

// The library's own limit on either side of an image.
constexpr JDIMENSION kMaxSide = 65500;
// The most the decoder reserves for the pixels before rows decode: a 4600 x 4600 colour image.
constexpr std::size_t kFirstReserve = std::size_t(64) << 20;

// The library reports errors by calling error_exit, which by default ends the process. Ours
// keeps the message code and jumps back to the Guarded call that started the library work.
// The library's own text is English and is never shown: the code picks a Japanese reason.
struct ErrorManager {
    jpeg_error_mgr pub;  // first member: the library's pointer to it points to the whole
    std::jmp_buf jump;
    int code;          // the library's message code (J_MESSAGE_CODE)
    bool damagedData;  // a warning about the compressed data, not a hard error
};

ErrorManager& ManagerOf(j_common_ptr cinfo) { return *reinterpret_cast<ErrorManager*>(cinfo->err); }

[[noreturn]] void OnError(j_common_ptr cinfo) {
    ErrorManager& m = ManagerOf(cinfo);
    m.code = m.pub.msg_code;
    m.damagedData = false;
    std::longjmp(m.jump, 1);
}

// Level -1 is a warning; the library then carries on with made-up data (grey blocks, zeroed
// coefficients), so a warning about the compressed data is an error for us. Two warnings say
// nothing about the pixels and are let through.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace output
    ErrorManager& m = ManagerOf(cinfo);
    if (m.pub.msg_code == JWRN_ADOBE_XFORM || m.pub.msg_code == JWRN_JFIF_MAJOR) return;
    m.code = m.pub.msg_code;
    m.damagedData = true;
    std::longjmp(m.jump, 1);
}

void Silent(j_common_ptr) {}

void Install(ErrorManager& m) {
    jpeg_std_error(&m.pub);
    m.pub.error_exit = OnError;
    m.pub.emit_message = OnMessage;
    m.pub.output_message = Silent;
    m.code = JMSG_NOMESSAGE;
    m.damagedData = false;
}

// Runs step, which calls the library, and returns false when the library reported an error
// (or a damaged-data warning) instead of finishing. The report leaves by longjmp, which runs
// no destructors: neither this function nor step may hold an object that needs one while a
// library call is running.
template <class Step>
bool Guarded(ErrorManager& err, const Step& step) {
    if (setjmp(err.jump) != 0) return false;
    step();
    return true;
}

// The reason the library gave, in words for the user; empty for the rare codes that say
// nothing a user could act on (they then get the lead alone).
const char* Reason(int code) {
    switch (code) {
        case JWRN_JPEG_EOF:
        case JERR_INPUT_EOF:
        case JERR_INPUT_EMPTY:
            return msg::kJpegWhyCutShort;
        case JWRN_HIT_MARKER:
            return msg::kJpegWhyDataEnds;
        case JWRN_EXTRANEOUS_DATA:
            return msg::kJpegWhyExtraBytes;
        case JWRN_HUFF_BAD_CODE:
        case JERR_BAD_DCT_COEF:
            return msg::kJpegWhyBadCode;
        case JWRN_MUST_RESYNC:
        case JERR_SOI_DUPLICATE:
        case JERR_SOF_DUPLICATE:
        case JERR_SOF_NO_SOS:
        case JERR_SOS_NO_SOF:
        case JERR_NO_IMAGE:
        case JERR_EOI_EXPECTED:
        case JERR_UNKNOWN_MARKER:
        case JERR_BAD_LENGTH:
            return msg::kJpegWhyMarkers;
        case JWRN_NOT_SEQUENTIAL:
        case JWRN_BOGUS_PROGRESSION:
        case JERR_BAD_HUFF_TABLE:
        case JERR_NO_HUFF_TABLE:
        case JERR_HUFF_CLEN_OVERFLOW:
        case JERR_HUFF_MISSING_CODE:
        case JERR_NO_QUANT_TABLE:
        case JERR_DHT_INDEX:
        case JERR_DQT_INDEX:
        case JERR_DAC_INDEX:
        case JERR_DAC_VALUE:
        case JERR_BAD_COMPONENT_ID:
        case JERR_COMPONENT_COUNT:
        case JERR_BAD_SAMPLING:
        case JERR_BAD_MCU_SIZE:
        case JERR_BAD_PROGRESSION:
        case JERR_BAD_J_COLORSPACE:
        case JERR_WIDTH_OVERFLOW:
            return msg::kJpegWhyHeader;
        case JERR_SOF_UNSUPPORTED:
        case JERR_BAD_PRECISION:
        case JERR_NOT_COMPILED:
        case JERR_NOTIMPL:
        case JERR_EMPTY_IMAGE:
        case JERR_CONVERSION_NOTIMPL:
        case JERR_CCIR601_NOTIMPL:
        case JERR_FRACT_SAMPLE_NOTIMPL:
            return msg::kJpegWhyUnsupported;
        default:
            return "";
    }
}

FileError LibraryFailure(const std::string& name, const ErrorManager& err) {
    // Three refusals have a message of their own.
    if (err.code == JERR_NO_SOI) return FileError(name, msg::kJpegNoSoi);
    if (err.code == JERR_IMAGE_TOO_BIG) return FileError(name, msg::kJpegTooLarge);
    if (err.code == JERR_OUT_OF_MEMORY) return FileError(name, msg::kJpegNoMemory);
    return FileError(name, std::string(err.damagedData ? msg::kJpegDamaged : msg::kJpegUnreadable) + Reason(err.code));
}

// Owns a decompress object; destroying a never-created (zeroed) one is a no-op in the library.
struct Decompressor {
    ErrorManager err{};
    jpeg_decompress_struct cinfo{};

    Decompressor() {
        Install(err);
        cinfo.err = &err.pub;
    }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
};

// Owns a compress object and the growing output it writes into.
struct Compressor {
    ErrorManager err{};
    jpeg_compress_struct cinfo{};
    jpeg_destination_mgr dest{};
    std::vector<std::uint8_t> out;

    Compressor() {
        Install(err);
        cinfo.err = &err.pub;
    }
    ~Compressor() { jpeg_destroy_compress(&cinfo); }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

// The destination callbacks run inside the library, so an allocation failure must not leave
// them as a C++ exception; it becomes the library's own out-of-memory error.
Compressor& CompressorOf(j_compress_ptr cinfo) { return *static_cast<Compressor*>(cinfo->client_data); }

bool Resize(std::vector<std::uint8_t>& v, std::size_t n) noexcept {
    try {
        v.resize(n);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void StartOutput(j_compress_ptr cinfo) {
    Compressor& c = CompressorOf(cinfo);
    if (!Resize(c.out, 64 * 1024)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    c.dest.next_output_byte = c.out.data();
    c.dest.free_in_buffer = c.out.size();
}

// Called when the buffer is full: double it and carry on behind the bytes written so far.
boolean GrowOutput(j_compress_ptr cinfo) {
    Compressor& c = CompressorOf(cinfo);
    const std::size_t used = c.out.size();
    if (!Resize(c.out, used * 2)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
    c.dest.next_output_byte = c.out.data() + used;
    c.dest.free_in_buffer = c.out.size() - used;
    return TRUE;
}

void FinishOutput(j_compress_ptr cinfo) {
    Compressor& c = CompressorOf(cinfo);
    c.out.resize(c.out.size() - c.dest.free_in_buffer);  // shrinking never allocates
}

}  // namespace

Raster DecodeJpeg(std::span<const std::uint8_t> bytes, const std::string& name) {
    if (bytes.empty()) throw FileError(name, msg::kJpegEmpty);
    if (bytes.size() > std::numeric_limits<unsigned long>::max()) throw FileError(name, msg::kJpegTooLarge);

    // Some writers leave out the end marker. The decoder reads ahead for bits and would run
    // out of input (and report a cut-short file) even when all the data is there, so a missing
    // end marker is put back. A file cut short inside its data still fails: the decoder meets
    // the marker before it has all the blocks.
    std::vector<std::uint8_t> withEnd;
    if (bytes.size() < 2 || bytes[bytes.size() - 2] != 0xFF || bytes[bytes.size() - 1] != JPEG_EOI) {
        try {
            withEnd.reserve(bytes.size() + 2);
        } catch (const std::bad_alloc&) {
            throw FileError(name, msg::kJpegNoMemory);
        }
        withEnd.assign(bytes.begin(), bytes.end());
        withEnd.push_back(0xFF);
        withEnd.push_back(JPEG_EOI);
        bytes = withEnd;
    }

    Decompressor d;
    j_decompress_ptr cinfo = &d.cinfo;
    if (!Guarded(d.err, [&] {
            jpeg_create_decompress(cinfo);
            jpeg_mem_src(cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
            jpeg_read_header(cinfo, TRUE);
        }))
        throw LibraryFailure(name, d.err);

    if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK)
        throw FileError(name, msg::kJpegCmyk);
    cinfo->out_color_space = JCS_EXT_BGR;
    if (!Guarded(d.err, [&] { jpeg_start_decompress(cinfo); })) throw LibraryFailure(name, d.err);
    // The library refuses larger images itself; checked again because the sides become ints.
    if (cinfo->output_width > kMaxSide || cinfo->output_height > kMaxSide) throw FileError(name, msg::kJpegTooLarge);

    // A header may promise 65500 x 65500 pixels (12 GB) in a few hundred bytes, so the block
    // is not taken whole up front: it starts at the whole image or kFirstReserve bytes,
    // whichever is less, and doubles (up to the whole image) only as decoded rows fill it.
    // Memory beyond kFirstReserve thus follows data that really decodes; the rows that are not
    // there end the decoding first.
    Raster raster;
    raster.width = static_cast<int>(cinfo->output_width);
    raster.height = static_cast<int>(cinfo->output_height);
    const std::size_t stride = raster.stride();
    const std::size_t total = stride * std::size_t(raster.height);
    const auto reserve = [&](std::size_t bytes) {
        try {
            raster.bytes.reserve(std::min(total, bytes));
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    };
    if (!reserve(std::max(kFirstReserve, stride))) throw FileError(name, msg::kJpegNoMemory);

    bool stalled = false, outOfMemory = false;
    const bool done = Guarded(d.err, [&] {
        while (cinfo->output_scanline < cinfo->output_height) {
            const std::size_t y = cinfo->output_scanline;
            if ((y + 1) * stride > raster.bytes.capacity() && !reserve(2 * raster.bytes.capacity())) {
                outOfMemory = true;
                return;
            }
            raster.bytes.resize((y + 1) * stride);  // within the reserved block: no allocation
            JSAMPROW row = raster.bytes.data() + y * stride;
            if (jpeg_read_scanlines(cinfo, &row, 1) != 1) {
                stalled = true;
                return;
            }
        }
        jpeg_finish_decompress(cinfo);  // reads on to the end marker: damage there counts too
    });
    if (!done) throw LibraryFailure(name, d.err);
    if (outOfMemory) throw FileError(name, msg::kJpegNoMemory);
    if (stalled) throw FileError(name, msg::kTruncated);
    return raster;
}

Raster ReadJpeg(const std::string& path) { return DecodeJpeg(ReadWholeFile(path), path); }

std::vector<std::uint8_t> EncodeJpeg(const Raster& raster, int quality) {
    if (raster.empty() || raster.bytes.size() != raster.stride() * std::size_t(raster.height))
        throw ImageError(msg::kJpegNothingToEncode);

    Compressor c;
    c.dest.init_destination = StartOutput;
    c.dest.empty_output_buffer = GrowOutput;
    c.dest.term_destination = FinishOutput;
    j_compress_ptr cinfo = &c.cinfo;
    const bool done = Guarded(c.err, [&] {
        jpeg_create_compress(cinfo);
        cinfo->client_data = &c;
        cinfo->dest = &c.dest;
        cinfo->image_width = static_cast<JDIMENSION>(raster.width);
        cinfo->image_height = static_cast<JDIMENSION>(raster.height);
        cinfo->input_components = 3;
        cinfo->in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(cinfo);  // sequential Huffman coding with the standard tables
        jpeg_set_quality(cinfo, std::clamp(quality, 1, 100), TRUE);
        jpeg_start_compress(cinfo, TRUE);
        while (cinfo->next_scanline < cinfo->image_height) {
            // The library reads input rows but its interface is not const-qualified.
            JSAMPROW row = const_cast<JSAMPROW>(raster.row(static_cast<int>(cinfo->next_scanline)));
            jpeg_write_scanlines(cinfo, &row, 1);
        }
        jpeg_finish_compress(cinfo);
    });
    if (!done)
        throw ImageError(std::string(msg::kJpegEncodeFailed) + (c.err.code == JERR_OUT_OF_MEMORY ? msg::kJpegWhyNoMemory : ""));
    return std::move(c.out);
}

}  // namespace nuvak
