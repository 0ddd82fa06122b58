#pragma once

#include <ctime>

namespace inf {

// Sequential access to one video, handed out by IReaderHost::Open. Called by
// slot number from an outside in-process component, so the slot order and
// argument types below are fixed:
//   0 Destroy, 1 GetSize, 2 Read, 3 GetTime, 4 IsAlive.
// There is no virtual destructor: GCC gives one two slots, which would shift
// every slot after it. Slot 0 stands where the outside component's compiler
// keeps its deleting destructor, with that destructor's argument so that even
// a call through it leaves the stack balanced. Users never call it.
// No reference counting: the reader lives as long as the object behind it.
class IReader {
public:
    // Deletes the whole object behind the interface.
    virtual void Destroy(unsigned int flags) = 0;
    // The file size in bytes.
    virtual long long GetSize() = 0;
    // n > 0: n bytes copied into buffer (possibly fewer than asked: what
    // follows is not there yet); 0: nothing yet, try again; -1: nothing will
    // come at this offset.
    virtual int Read(unsigned long long offset, unsigned char* buffer, int length) = 0;
    virtual std::tm* GetTime() = 0;
    // False once the object behind the reader no longer answers.
    virtual bool IsAlive() = 0;

protected:
    ~IReader() = default;
};

}  // namespace inf
