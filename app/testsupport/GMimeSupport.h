#pragma once
// GMime, the independent MIME library the tests read our messages with: its start, its objects'
// references and a part's decoded content. Header only: only the test programs that read with
// GMime link it.
#include <string>

#include <gmime/gmime.h>

namespace kamo::test {

inline void InitGMime() {
    static const bool once = [] {
        g_mime_init();
        return true;
    }();
    (void)once;
}

template <typename T> struct GObjectRef {
    T* p = nullptr;
    explicit GObjectRef(T* object) : p(object) {}
    ~GObjectRef() {
        if (p)
            g_object_unref(p);
    }
    GObjectRef(const GObjectRef&) = delete;
    GObjectRef& operator=(const GObjectRef&) = delete;
};

inline std::string Text(const char* s) {
    return s ? s : "";
}

// A leaf part's content, its transfer encoding undone, bytes as they are.
inline std::string Decoded(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    GObjectRef<GMimeStream> mem(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, mem.p);
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.p));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

// The one message in `bytes`; null when GMime finds none.
inline GMimeMessage* ParseMessage(const std::string& bytes) {
    InitGMime();
    GObjectRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    GObjectRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.p));
    g_mime_parser_set_format(parser.p, GMIME_FORMAT_MESSAGE);
    return g_mime_parser_construct_message(parser.p, nullptr);
}

} // namespace kamo::test
