#include "store/FindOrCreateBatch.h"

#include <algorithm>
#include <vector>

namespace pagewell {

namespace {
// The contexts batched on this thread (a context belongs to one thread at a time).
thread_local std::vector<const StoreContext*> tBatched;
}  // namespace

FindOrCreateBatch::FindOrCreateBatch(StoreContext& context)
    : context_(&context), begun_(context.beginWrite()) {
    tBatched.push_back(context_);
}

FindOrCreateBatch::~FindOrCreateBatch() {
    end();
}

void FindOrCreateBatch::end() {
    if (context_ == nullptr) {
        return;
    }
    auto found = std::find(tBatched.rbegin(), tBatched.rend(), context_);
    if (found != tBatched.rend()) {
        tBatched.erase(std::next(found).base());
    }
    context_ = nullptr;
}

Status FindOrCreateBatch::commit() {
    StoreContext* context = context_;
    end();
    if (context == nullptr) {
        return {};
    }
    return context->save();
}

bool FindOrCreateBatch::holds(const StoreContext& context) {
    return std::find(tBatched.begin(), tBatched.end(), &context) != tBatched.end();
}

Status FindOrCreateBatch::saveUnlessBatched(StoreContext& context) {
    if (holds(context)) {
        return {};
    }
    return context.save();
}

}  // namespace pagewell
