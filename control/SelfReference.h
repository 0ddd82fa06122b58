#pragma once
#include <unknwn.h>

// One reference held for a scope. The control holds one on itself across
// every modal loop it runs: the page's script runs inside the loop and may
// release the control there, and the control must not resume on a freed
// object. The last release may come as the scope ends, so the handler that
// owns the scope touches nothing of the object after it.
class SelfReference {
public:
    explicit SelfReference(IUnknown* object) : object_(object) { object_->AddRef(); }
    ~SelfReference() { object_->Release(); }
    SelfReference(const SelfReference&) = delete;
    SelfReference& operator=(const SelfReference&) = delete;

private:
    IUnknown* object_;
};
