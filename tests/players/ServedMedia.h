#pragma once
// A media file made at build time (MEDIA_DIR) served over HTTP by a
// loopback server of this process.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/vod/http/FileReaderHost.h"
#include "vod/http/HttpServer.h"

class ServedMedia {
public:
    // Serves file and gives its address: "<scheme>://127.0.0.1:<port>/<file>".
    std::wstring Serve(const wchar_t* scheme, const wchar_t* file)
    {
        std::string bytes;
        EXPECT_TRUE(FileReaderHost::LoadFile(std::wstring(MEDIA_DIR) + L"/" + file, &bytes));
        reader_.reset(new FileReaderHost(bytes));
        EXPECT_TRUE(server_.Start(0));
        server_.SetReaderHost(reader_.get());
        return std::wstring(scheme) + L"://127.0.0.1:" + std::to_wstring(server_.GetPort()) + L"/" +
               file;
    }
    void Stop() { server_.Stop(); }

private:
    std::unique_ptr<FileReaderHost> reader_;
    HttpServer server_;
};
