// Keeps the image a session receives as DIR/session-N.frm. The file appears under that name only once
// every announced byte has arrived; a partial image is removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class ImageSink {
public:
    // An empty dir makes a sink that keeps nothing.
    ImageSink(std::string dir, long session);
    ~ImageSink();
    ImageSink(const ImageSink&) = delete;
    ImageSink& operator=(const ImageSink&) = delete;

    void Begin();
    void Append(const std::uint8_t* data, std::size_t len);
    void Commit();
    // For the session log: where the image went, why it did not, or nothing when not asked to keep it.
    std::string Note() const;

private:
    void Fail(const std::string& what);
    void Discard();

    std::string m_dir;
    std::string m_path;
    std::string m_partPath;
    std::FILE* m_file = nullptr;
    std::string m_note;
};
