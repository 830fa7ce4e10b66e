// Ordered lists of terms by slot.
#include "graph/term_list.hpp"

namespace tavro {

Term* TermList::First() const {
  const bool anyMoved = group_ != nullptr && !group_->live.empty();
  while (firstLive_ < entries_.size() && anyMoved && !Live(firstLive_)) ++firstLive_;
  return firstLive_ < entries_.size() ? &(*pool_)[entries_[firstLive_]] : nullptr;
}

void TermList::Remove(Term* t) {
  const uint32_t s = static_cast<uint32_t>(t->slot);
  group_->SetMoved(s);
  group_->live[s] = ListGroup::kNoEntry;
  --count_;
  ++dead_;
  if (dead_ > 64 && dead_ > static_cast<size_t>(count_)) Compact();
}

void TermList::Compact() {
  size_t kept = 0;
  for (size_t i = firstLive_; i < entries_.size(); ++i) {
    if (!Live(i)) continue;
    const uint32_t s = entries_[i];
    if (group_->IsMoved(s)) group_->live[s] = id_ << 40 | kept;
    entries_[kept++] = s;
  }
  entries_.Truncate(kept);
  firstLive_ = 0;
  dead_ = 0;
}

}  // namespace tavro
