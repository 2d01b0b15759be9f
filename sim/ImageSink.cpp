#include "ImageSink.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

ImageSink::ImageSink(std::string dir, long session) : m_dir(std::move(dir))
{
    if (m_dir.empty())
        return;
    m_path = (std::filesystem::path(m_dir) / ("session-" + std::to_string(session) + ".frm")).string();
    m_partPath = m_path + ".part";
}

ImageSink::~ImageSink()
{
    Discard();
}

void ImageSink::Fail(const std::string& what)
{
    m_note = "not saved: " + what;
    Discard();
}

void ImageSink::Discard()
{
    if (!m_file)
        return;
    std::fclose(m_file);
    m_file = nullptr;
    std::remove(m_partPath.c_str());
}

void ImageSink::Begin()
{
    if (m_dir.empty())
        return;
    std::error_code ec;
    std::filesystem::create_directories(m_dir, ec);
    m_file = std::fopen(m_partPath.c_str(), "wb");
    if (!m_file)
        Fail(m_partPath + ": " + std::strerror(errno));
}

void ImageSink::Append(const std::uint8_t* data, std::size_t len)
{
    if (m_file && std::fwrite(data, 1, len, m_file) != len)
        Fail(m_partPath + ": " + std::strerror(errno));
}

void ImageSink::Commit()
{
    if (!m_file)
        return;
    const bool flushed = std::fclose(m_file) == 0;
    m_file = nullptr;
    std::error_code ec;
    if (flushed)
        std::filesystem::rename(m_partPath, m_path, ec);
    if (!flushed || ec) {
        m_note = "not saved: " + m_path + ": " + (flushed ? ec.message() : std::string(std::strerror(errno)));
        std::remove(m_partPath.c_str());
        return;
    }
    m_note = "saved " + m_path;
}

std::string ImageSink::Note() const
{
    if (m_file)
        return "not saved: the image is incomplete";
    return m_note;
}
