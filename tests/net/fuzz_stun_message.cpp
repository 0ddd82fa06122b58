// STUN answers as the NAT-type test reads them: the parser, then the test's
// bookkeeping with whatever the parser left in the record.
#include <cstdint>
#include <cstdlib>

#include "net/StunMessage.h"
#include "net/StunNatTest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    StunMessageRecord record;
    const bool ok = StunParseMessage(data, size, record);
    if (ok && std::size_t(record.messageLength) + kStunHeaderSize != size)
        std::abort();
    if (record.hasUsername && record.username.value[record.username.size] != '\0')
        std::abort();
    if (record.hasErrorCode && record.errorCode.reason[record.errorCode.sizeReason] != '\0')
        std::abort();

    // An answer counts only for an id that was sent.
    StunNatTest test(StunIPv4Endpoint{0x7F000001, 3478});
    test.OnTimeout();
    if (test.OnMessage(record, size) != 0)
        std::abort();
    test.RememberRequest(record);
    const int answered = test.OnMessage(record, size);
    if (answered != 0 && answered != record.transactionId[0])
        std::abort();
    test.Decide(false);
    return 0;
}
