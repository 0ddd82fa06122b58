#pragma once
// A small synchronous HTTP client for talking to our fixture servers'
// control routes from a test under Wine.
#include <string>

struct FixtureReply {
    unsigned status = 0;  // 0 when no reply came
    std::string body;
};

FixtureReply FixtureRequest(const char* method, unsigned port, const std::string& path,
                            const std::string& body = std::string());

// The port a fixture announced in the environment, 0 when unset.
unsigned FixturePort(const char* variable);
