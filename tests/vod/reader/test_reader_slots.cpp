// The reader interfaces are called by slot number from an outside component
// built by another compiler: each slot must hold the function the interface
// promises, reached through a raw vtable call as that component makes it.
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>

#include "vod/reader/IReaderHost.h"

namespace {

#if defined(_WIN32) && defined(__i386__)
#define SLOT_CALL __attribute__((thiscall))
#else
#define SLOT_CALL
#endif

typedef void(SLOT_CALL* DestroySlot)(void* self, unsigned int flags);
typedef inf::IReader*(SLOT_CALL* OpenSlot)(void* self, const char* name,
                                           unsigned long long offset);
typedef long long(SLOT_CALL* GetSizeSlot)(void* self);
typedef int(SLOT_CALL* ReadSlot)(void* self, unsigned long long offset, unsigned char* buffer,
                                 int length);
typedef std::tm*(SLOT_CALL* GetTimeSlot)(void* self);
typedef bool(SLOT_CALL* IsAliveSlot)(void* self);

// The engine's shape: one object implementing both interfaces.
class Probe : public inf::IReaderHost, public inf::IReader {
public:
    void Destroy(unsigned int flags) override { destroyedWith = flags; }
    inf::IReader* Open(const char* name, unsigned long long offset) override
    {
        openName = name;
        openOffset = offset;
        return this;
    }
    long long GetSize() override { return 0x123456789ALL; }
    int Read(unsigned long long offset, unsigned char* buffer, int length) override
    {
        readOffset = offset;
        readBuffer = buffer;
        readLength = length;
        return -1;
    }
    std::tm* GetTime() override { return &time; }
    bool IsAlive() override { return true; }

    unsigned int destroyedWith = 0;
    const char* openName = nullptr;
    unsigned long long openOffset = 0;
    unsigned long long readOffset = 0;
    unsigned char* readBuffer = nullptr;
    int readLength = 0;
    std::tm time = {};
};

template <class Slot>
Slot SlotOf(void* interfacePointer, int index)
{
    void** table = *static_cast<void***>(interfacePointer);
    return reinterpret_cast<Slot>(table[index]);
}

TEST(ReaderSlotsTest, HostSlots)
{
    Probe probe;
    void* host = static_cast<inf::IReaderHost*>(&probe);
    const char name[] = "1.wmv";

    inf::IReader* reader = SlotOf<OpenSlot>(host, 1)(host, name, 0x100000002ULL);
    EXPECT_EQ(static_cast<inf::IReader*>(&probe), reader);
    EXPECT_EQ(name, probe.openName);
    EXPECT_EQ(0x100000002ULL, probe.openOffset);

    SlotOf<DestroySlot>(host, 0)(host, 1);
    EXPECT_EQ(1u, probe.destroyedWith);
}

TEST(ReaderSlotsTest, ReaderSlots)
{
    Probe probe;
    void* reader = static_cast<inf::IReader*>(&probe);
    unsigned char buffer[16];

    EXPECT_EQ(0x123456789ALL, SlotOf<GetSizeSlot>(reader, 1)(reader));
    EXPECT_EQ(-1, SlotOf<ReadSlot>(reader, 2)(reader, 0xFFFFFFFF00000001ULL, buffer, 77));
    EXPECT_EQ(0xFFFFFFFF00000001ULL, probe.readOffset);
    EXPECT_EQ(buffer, probe.readBuffer);
    EXPECT_EQ(77, probe.readLength);
    EXPECT_EQ(&probe.time, SlotOf<GetTimeSlot>(reader, 3)(reader));
    EXPECT_TRUE(SlotOf<IsAliveSlot>(reader, 4)(reader));

    SlotOf<DestroySlot>(reader, 0)(reader, 3);
    EXPECT_EQ(3u, probe.destroyedWith);
}

}  // namespace
