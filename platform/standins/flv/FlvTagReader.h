#pragma once
// Reads an FLV stream as it arrives: the file header, then tag after tag,
// each checked against the previous-tag size that follows it. Windows-free.
#include <cstddef>
#include <cstdint>
#include <string>

namespace flv {

struct Tag {
    std::uint8_t type = 0;        // 8 audio, 9 video, 18 script data
    std::uint32_t timestamp = 0;  // milliseconds
    std::uint32_t dataSize = 0;
    bool keyframe = false;        // a video key frame
    std::uint64_t fileOffset = 0; // where the tag's header starts in the file
    std::string scriptData;       // the body of a script-data tag (type 18)
};

class TagReader {
public:
    enum Status { kNeedMore, kTag, kError };

    // resumeAt: 0 for a stream of the whole file; else the file offset whose
    // data follows the header (a re-sent 9-byte header and a zero size).
    explicit TagReader(std::uint64_t resumeAt = 0) : resumeAt_(resumeAt) {}

    void Feed(const void* data, std::size_t size);
    // The next whole tag; kError stays once a check failed (see Error).
    Status Next(Tag* tag);
    const std::string& Error() const { return error_; }
    // Bytes held that no tag took yet.
    std::size_t Pending() const { return buffer_.size() - at_; }

private:
    Status Fail(const std::string& why);

    std::uint64_t resumeAt_;
    std::string buffer_;
    std::size_t at_ = 0;              // first unread byte of buffer_
    std::uint64_t streamAt_ = 0;      // stream offset of buffer_[at_]
    std::uint64_t dataStart_ = 0;     // stream offset of the first tag
    bool headerRead_ = false;
    std::string error_;
};

}  // namespace flv
