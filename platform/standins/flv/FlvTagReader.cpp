#include "platform/standins/flv/FlvTagReader.h"

namespace flv {

namespace {

std::uint32_t Be(const std::string& b, std::size_t at, int bytes)
{
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | static_cast<unsigned char>(b[at + i]);
    return value;
}

const std::size_t kTagHeader = 11;

}  // namespace

void TagReader::Feed(const void* data, std::size_t size)
{
    if (!error_.empty())
        return;
    // Drop what was read once it is a good share of the buffer.
    if (at_ > 65536 && at_ * 2 > buffer_.size()) {
        buffer_.erase(0, at_);
        at_ = 0;
    }
    buffer_.append(static_cast<const char*>(data), size);
}

TagReader::Status TagReader::Fail(const std::string& why)
{
    error_ = why;
    return kError;
}

TagReader::Status TagReader::Next(Tag* tag)
{
    if (!error_.empty())
        return kError;
    if (!headerRead_) {
        if (Pending() < 9)
            return kNeedMore;
        if (buffer_.compare(at_, 3, "FLV") != 0)
            return Fail("not an FLV header");
        const std::uint32_t headerSize = Be(buffer_, at_ + 5, 4);
        if (headerSize < 9 || headerSize > 1024)
            return Fail("FLV header size " + std::to_string(headerSize));
        if (Pending() < headerSize + 4)
            return kNeedMore;
        if (Be(buffer_, at_ + headerSize, 4) != 0)
            return Fail("first previous tag size is not 0");
        at_ += headerSize + 4;
        streamAt_ += headerSize + 4;
        dataStart_ = streamAt_;
        headerRead_ = true;
    }
    if (Pending() < kTagHeader)
        return kNeedMore;
    const std::uint32_t dataSize = Be(buffer_, at_ + 1, 3);
    const std::size_t whole = kTagHeader + dataSize + 4;
    if (Pending() < whole)
        return kNeedMore;
    const std::uint32_t previous = Be(buffer_, at_ + kTagHeader + dataSize, 4);
    if (previous != kTagHeader + dataSize)
        return Fail("previous tag size " + std::to_string(previous) + " after a tag of " +
                    std::to_string(kTagHeader + dataSize));
    tag->type = static_cast<std::uint8_t>(buffer_[at_] & 0x1F);
    tag->dataSize = dataSize;
    tag->timestamp = Be(buffer_, at_ + 4, 3) |
                     (static_cast<std::uint32_t>(static_cast<unsigned char>(buffer_[at_ + 7])) << 24);
    tag->keyframe = tag->type == 9 && dataSize > 0 &&
                    (static_cast<unsigned char>(buffer_[at_ + kTagHeader]) >> 4) == 1;
    if (tag->type == 18)
        tag->scriptData.assign(buffer_, at_ + kTagHeader, dataSize);
    else
        tag->scriptData.clear();
    tag->fileOffset = resumeAt_ ? resumeAt_ + (streamAt_ - dataStart_) : streamAt_;
    at_ += whole;
    streamAt_ += whole;
    return kTag;
}

}  // namespace flv
