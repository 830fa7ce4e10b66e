// The candidate lists of terms found not isolated (KnownCandidates), kept
// beside the lists that name each term, so that an expansion joins every
// list that holds the term it was made from.
#include <algorithm>

#include "reduce/pass.hpp"

namespace tavro {
namespace {

KnownCandidates::Entry& ListOf(ReduceMemory& m, std::unordered_map<int32_t, KnownCandidates::Entry>& lists,
                               int32_t s) {
  KnownCandidates::Entry& entry = lists[s];
  TermRecord& r = m.records[Idx(s)];
  if (&lists == &m.known.of) {
    r.candidatesKnown = true;
  } else {
    r.listedKnown = true;
  }
  const uint32_t serial = static_cast<uint32_t>(r.serial);
  if (entry.serial != serial) entry = {serial, {}};
  return entry;
}

const KnownCandidates::Entry* FindList(const ReduceMemory& m,
                                       const std::unordered_map<int32_t, KnownCandidates::Entry>& lists,
                                       int32_t s) {
  const auto it = lists.find(s);
  if (it == lists.end() || it->second.serial != static_cast<uint32_t>(m.records[Idx(s)].serial)) return nullptr;
  return &it->second;
}

}  // namespace

// Notes every candidate of the term s, as the index or the sort found them.
void KnowCandidates(ReduceMemory& m, int32_t s, const std::vector<int32_t>& candidates) {
  KnownCandidates::Entry& list = ListOf(m, m.known.of, s);
  for (int32_t u : candidates) {
    list.terms.push_back(EntryOf(m, u));
    ListOf(m, m.known.listedBy, u).terms.push_back(EntryOf(m, s));
  }
}

// The candidates of s, when s was found not isolated; entries may name terms
// that are gone (Alive tells).
const std::vector<SerialSlot>* KnownCandidatesOf(const ReduceMemory& m, int32_t s) {
  if (!m.records[Idx(s)].candidatesKnown) return nullptr;
  const KnownCandidates::Entry* list = FindList(m, m.known.of, s);
  return list == nullptr ? nullptr : &list->terms;
}

// The term `made` is an expansion of `candidate`: it joins the list of every
// term that lists the candidate and has it as a candidate too.
void LearnExpansion(ReduceMemory& m, size_t words, int32_t candidate, int32_t made) {
  const KnownCandidates::Entry* holders = FindList(m, m.known.listedBy, candidate);
  if (holders == nullptr) return;
  const std::vector<SerialSlot> listing = holders->terms;  // the map may move as it grows
  const uint64_t* mask = m.masks.Of(made);
  for (const SerialSlot t : listing) {
    if (!Alive(m, t) || CompareMasks(m.masks.Of(t.slot), mask, words) == kUnrelated) continue;
    ListOf(m, m.known.of, t.slot).terms.push_back(EntryOf(m, made));
    ListOf(m, m.known.listedBy, made).terms.push_back(t);
  }
}

// The term s is going: its two lists go, and so does every entry that names
// it, which stands in the lists that its own lists name (each entry is noted
// on both sides). Done as it goes, before its id may be taken again: the
// next term under that id would meet the entries left behind, and the next
// pass numbers its made terms from the same serial on, so an entry left by a
// term made and dropped here could name one of them.
void ForgetKnown(ReduceMemory& m, int32_t s) {
  if (!m.records[Idx(s)].candidatesKnown && !m.records[Idx(s)].listedKnown) return;
  const uint32_t serial = static_cast<uint32_t>(m.records[Idx(s)].serial);
  const auto dropFrom = [&](std::unordered_map<int32_t, KnownCandidates::Entry>& lists, SerialSlot holder) {
    const auto it = lists.find(holder.slot);
    if (it == lists.end() || it->second.serial != holder.serial) return;
    std::vector<SerialSlot>& terms = it->second.terms;
    terms.erase(std::remove_if(terms.begin(), terms.end(),
                               [&](SerialSlot e) { return e.slot == s && e.serial == serial; }),
                terms.end());
  };
  for (auto [own, other] : {std::pair{&m.known.of, &m.known.listedBy}, std::pair{&m.known.listedBy, &m.known.of}}) {
    const auto it = own->find(s);
    if (it == own->end() || it->second.serial != serial) continue;
    for (const SerialSlot e : it->second.terms) dropFrom(*other, e);
    own->erase(it);
  }
}

// Terms the pass made have become graph terms under new ids and serials:
// every entry that names one names its graph term instead. All entries are
// found before any changes, and every list of holders is taken out before
// any is put back, since a new id and serial may be those of a made term
// not yet renamed.
void RenameKnown(ReduceMemory& m, const std::vector<std::pair<SerialSlot, SerialSlot>>& renames) {
  std::vector<std::pair<SerialSlot*, SerialSlot>> entries;
  std::vector<std::pair<SerialSlot, std::vector<SerialSlot>>> moved;
  for (const auto& [from, to] : renames) {
    const auto it = m.known.listedBy.find(from.slot);
    if (it == m.known.listedBy.end() || it->second.serial != from.serial) continue;
    for (const SerialSlot t : it->second.terms) {
      const auto list = m.known.of.find(t.slot);
      if (list == m.known.of.end() || list->second.serial != t.serial) continue;
      for (SerialSlot& e : list->second.terms) {
        if (e.slot == from.slot && e.serial == from.serial) entries.emplace_back(&e, to);
      }
    }
    moved.emplace_back(to, std::move(it->second.terms));
  }
  for (const auto& [entry, to] : entries) *entry = to;
  for (const auto& [from, to] : renames) {
    const auto it = m.known.listedBy.find(from.slot);
    if (it != m.known.listedBy.end() && it->second.serial == from.serial) m.known.listedBy.erase(it);
  }
  for (auto& [to, terms] : moved) m.known.listedBy[to.slot] = {to.serial, std::move(terms)};
}

}  // namespace tavro
