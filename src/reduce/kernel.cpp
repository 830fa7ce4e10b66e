// The pass's store of terms: packed input parts, records of what the pass did
// to each term, and the terms it makes and drops. Nothing here changes the
// graph; Commit does, once the pass is over.
#include <algorithm>

#include "graph/remove_term.hpp"
#include "reduce/pass.hpp"

namespace tavro {
namespace {

// Notes the first change of a graph term's character, for the commit.
void Touch(Pass& p, TermRecord& r, int32_t s) {
  if (r.touched) return;
  r.touched = true;
  p.touched.push_back(s);
}

// Adds `change` to the working list's count of terms with dashCount `dash`.
void ChangeListCount(Pass& p, int32_t dash, int64_t change) {
  if (Idx(dash) >= p.listChange.size()) p.listChange.resize(Idx(dash) + 1, 0);
  p.listChange[Idx(dash)] += change;
}

void AddNote(Pass& p, int32_t& head, int32_t term, uint64_t arrival) {
  p.notes.push_back({head, term, arrival});
  head = static_cast<int32_t>(p.notes.size() - 1);
}

// The heads of the chains of notes of the term s, empty when the pass has
// noted nothing of it (an entry left by a term that had its id is reset).
NoteHeads& HeadsOf(Pass& p, int32_t s) {
  TermRecord& r = StateOf(p, s);
  NoteHeads& heads = p.noteHeads[s];
  if (!r.noted) {
    heads = {};
    r.noted = true;
  }
  return heads;
}

// Marks pending the terms of a chain of notes that are still where they were
// noted, and empties the chain.
void MarkAll(Pass& p, int32_t& head) {
  for (int32_t n = head; n != kNone; n = p.notes[Idx(n)].next) {
    const auto [next, s, arrival] = p.notes[Idx(n)];
    if (p.memory.records[Idx(s)].serial == arrival && InList(p, s)) MarkPending(p, s);
  }
  head = kNone;
}

}  // namespace

const uint64_t* MasksOf(const Pass& p, int32_t s) { return p.memory.masks.Of(s); }

// The pass's record of the term s, begun when the pass first touches it.
TermRecord& StateOf(Pass& p, int32_t s) {
  TermRecord& r = p.memory.records[Idx(s)];
  if (r.pass != p.id) {
    r = TermRecord{.serial = r.serial,
                   .pass = p.id,
                   .dash = r.dash,
                   .value = p.graph.termPool[Idx(s)].outputs()[p.j],
                   .made = r.made,
                   .checked = r.checked,
                   .isolated = r.isolated,
                   .impure = r.impure,
                   .candidatesKnown = r.candidatesKnown,
                   .listedKnown = r.listedKnown};
  }
  return r;
}

bool InList(const Pass& p, int32_t s) {
  const TermRecord& r = p.memory.records[Idx(s)];
  return r.pass != p.id || !r.out;
}

// The term's character at the output, whether or not it is in the list.
char CharOf(const Pass& p, int32_t s) {
  const TermRecord& r = p.memory.records[Idx(s)];
  return r.pass == p.id ? r.value : p.graph.termPool[Idx(s)].outputs()[p.j];
}

// The character with which the term takes part in the pass, or '~'.
char ValueOf(const Pass& p, int32_t s) { return InList(p, s) ? CharOf(p, s) : '~'; }

ListPlace PlaceOf(const Pass& p, int32_t s) {
  const TermRecord& r = p.memory.records[Idx(s)];
  return {r.dash, r.serial};
}

std::string InputsOf(const Pass& p, int32_t s) {
  if (!p.memory.records[Idx(s)].made) return p.graph.termPool[Idx(s)].inputs().str();
  if (p.memory.records[Idx(s)].impure) return p.impureParts.at(s);
  const uint64_t* mask = MasksOf(p, s);
  std::string inputs(static_cast<size_t>(p.graph.inputCount), '-');
  for (size_t i = 0; i < inputs.size(); ++i) {
    const uint64_t bit = uint64_t{1} << (i % 64);
    if ((mask[i / 64] & bit) != 0) inputs[i] = (mask[p.words + i / 64] & bit) != 0 ? '1' : '0';
  }
  return inputs;
}

// The number of terms in the working list with dashCount `dash`.
int64_t ListCount(const Pass& p, size_t dash) {
  const std::vector<int32_t>& graphCount = p.graph.termsByDash;
  return (dash < graphCount.size() ? graphCount[dash] : 0) + (dash < p.listChange.size() ? p.listChange[dash] : 0);
}

void GrowIds(ReduceMemory& m, size_t n) {
  if (m.records.size() >= n) return;
  // Only the records in use are written: the made terms of a pass take ids
  // past the graph's slots without a copy of every record.
  GrowIdArray(m.records, n, TermRecord{});
  m.search.GrowIds(n);
}

// Begins the record of a graph term and enters it into the index of every
// term, when that is kept. A packed term's planes are its masks, and its part
// is pure (the graph's index of input parts finds it); a term held as text
// gets masks of its own.
void Remember(ReduceMemory& m, size_t words, const Term& t) {
  const int32_t s = t.slot;
  const uint64_t serial = t.serial;
  GrowIds(m, Idx(s) + 1);
  bool impure = false;
  const uint64_t* mask = t.inputWords();
  if (!t.packed()) {
    const std::string inputs = t.inputs().str();
    uint64_t* own = m.masks.Text(s);
    // Any character other than '0', '1' and '-' counts as a dash, as the
    // cell lists count it, and makes the part impure.
    impure = !packing::PackInputs(inputs, own, words);
    mask = own;
  }
  const int32_t dash = t.dashCount();
  // A new graph term may hold the lists that the made term it stands for
  // passed on (RenameKnown).
  m.records[Idx(s)] = TermRecord{.serial = serial,
                                 .dash = dash,
                                 .impure = impure,
                                 .candidatesKnown = m.known.of.contains(s),
                                 .listedKnown = m.known.listedBy.contains(s)};
  m.impureTerms += impure;
  if (!m.lookForIsolated) return;
  m.search.Enter(s, mask);
  m.suspects.push_back({s, static_cast<uint32_t>(serial)});
}

// The term is gone: out of the tables, its id free. The record stays taken
// out of the working list, for notes that still name the id.
void Forget(ReduceMemory& m, int32_t s) {
  const uint64_t* mask = m.masks.Of(s);
  TermRecord& r = m.records[Idx(s)];
  m.search.Erase(s, mask);
  if (r.made && !r.impure) m.parts.Erase(s, mask);
  m.impureTerms -= r.impure;
  r.serial = 0;
  r.checked = r.isolated = r.impure = false;
}

// Readies the memory for a pass over the graph: everything afresh when the
// graph is new to it or was changed by anything but the passes (the index of
// every term is built once a sample shows that it pays), and a new index
// shape when the number of terms has moved far from the present one's.
void Prepare(ReduceMemory& m, TermGraph& graph, size_t words) {
  const bool fresh = !m.valid || m.graph != &graph || m.nextSerial != graph.nextSerial ||
                     m.termCount != graph.termCount;
  m.valid = false;
  if (!fresh) {
    if (m.search.indexed() && !m.search.EverySuits(graph.inputCount, static_cast<size_t>(graph.termCount))) {
      BuildIndex(m, graph);
    }
    return;
  }
  m.graph = &graph;
  m.lookForIsolated = true;
  m.search.DropEvery();
  m.impureTerms = 0;
  m.suspects.clear();
  m.known = {};
  m.parts.Reset(2 * words);
  m.masks.Reset(&graph, words);
  std::fill(m.records.begin(), m.records.end(), TermRecord{});
  GrowIds(m, static_cast<size_t>(SlotCount(graph)));
  // Every term, and room for the terms of a few passes, without copies.
  m.suspects.reserve(static_cast<size_t>(graph.termCount) + static_cast<size_t>(graph.termCount) / 4);
  graph.terms.ForEach([&](const Term* t) { Remember(m, words, *t); });
}

// Gives the pass about to begin its number, by which a record tells whether
// it is of this pass.
void NumberPass(ReduceMemory& m) {
  if (++m.passes != 0) return;
  // Pass numbers have come round: no record may seem to be of this pass.
  for (TermRecord& record : m.records) record.pass = 0;
  m.passes = 1;
}

void MarkPending(Pass& p, int32_t s) {
  TermRecord& r = StateOf(p, s);
  if (r.pending) return;
  r.pending = true;
  p.memory.pending.Add(Idx(r.dash), r.serial, s);
}

void ClearPending(Pass& p, int32_t s) {
  TermRecord& r = p.memory.records[Idx(s)];
  if (r.pass != p.id || !r.pending) return;
  r.pending = false;
  p.memory.pending.Remove(Idx(r.dash), r.serial);
}

// A term that has arrived in the working list with a character at the output
// (made by the pass, or given the character in place) waits for its visit.
void Join(Pass& p, int32_t s, char value) {
  StateOf(p, s).out = false;
  p.memory.search.Join(s, ValueClass(value), p.memory.records[Idx(s)].dash, MasksOf(p, s), p.words);
  MarkPending(p, s);
}

void Leave(Pass& p, int32_t s) {
  TermRecord& r = StateOf(p, s);
  if (const auto it = p.otherPlace.find(s); it != p.otherPlace.end()) {
    const int32_t moved = p.others.back();
    p.others[it->second] = moved;
    p.otherPlace[moved] = it->second;
    p.others.pop_back();
    p.otherPlace.erase(s);
  }
  ClearPending(p, s);
  r.out = true;
  p.memory.search.Leave(s, r.dash, MasksOf(p, s));
}

// The term that holds this pure input part, or kNone.
// A graph term is found through the graph's own index of input parts, unless
// the pass found it gone; the terms the pass made, in the table of theirs.
int32_t Find(const Pass& p, const uint64_t* part) {
  if (const Term* t = FindTermByPlanes(p.graph, part)) {
    const TermRecord& r = p.memory.records[Idx(t->slot)];
    if (r.serial != 0 && !r.made) return t->slot;
  }
  return p.memory.parts.Find(part, p.memory.masks);
}

// Makes the expansion of a candidate (its input part with the literal at
// `differing` made a dash; `part` packed) with `value` at the output. No term
// holds that part. The new term arrives after every other.
int32_t Make(Pass& p, int32_t candidate, int32_t differing, const uint64_t* part, char value) {
  int32_t s = p.topId;
  if (p.freeIds.empty()) {
    ++p.topId;
  } else {
    s = p.freeIds.back();
    p.freeIds.pop_back();
  }
  ReduceMemory& m = p.memory;
  GrowIds(m, Idx(s) + 1);
  uint64_t* mask = m.masks.Made(s);
  std::copy_n(part, 2 * p.words, mask);
  const TermRecord& from = m.records[Idx(candidate)];
  const bool impure = from.impure;
  const int32_t dash = from.dash + 1;
  if (impure) {
    std::string inputs = InputsOf(p, candidate);
    inputs[Idx(differing)] = '-';
    p.impureParts[s] = std::move(inputs);
  } else {
    m.parts.Insert(s, mask);
  }
  m.records[Idx(s)] = TermRecord{.serial = p.nextArrival++,
                                 .pass = p.id,
                                 .moved = ++p.clock,
                                 .dash = dash,
                                 .value = value,
                                 .made = true,
                                 .impure = impure};
  m.impureTerms += impure;
  if (m.lookForIsolated) m.search.Enter(s, mask);
  LearnExpansion(m, p.words, candidate, s);
  ChangeListCount(p, dash, 1);
  ++p.stats.made;
  return s;
}

// Gives a graph term with '~' at the output the character `value` there.
void Give(Pass& p, int32_t s, char value) {
  TermRecord& r = StateOf(p, s);
  r.value = value;
  r.moved = ++p.clock;
  Touch(p, r, s);
}

// Takes a term, already out of the working list, out of the output. A term
// left with '~' at every output is gone, and its id free: always a term the
// pass made, and a graph term with no other output.
void Drop(Pass& p, int32_t s) {
  TermRecord& r = StateOf(p, s);
  const bool made = r.made;
  if (!made) Touch(p, r, s);
  r.value = '~';
  r.moved = ++p.clock;
  ChangeListCount(p, r.dash, -1);
  if (!made && !OthersUnspecified(p.graph.termPool[Idx(s)], p.j)) return;
  if (made && r.impure) p.impureParts.erase(s);
  if (!made) p.goneTerms.emplace_back(r.moved, s);
  // Here and not in Forget: the made terms that last are forgotten as the
  // pass ends, when their lists have passed to their graph terms, whose ids
  // and serials may be theirs.
  ForgetKnown(p.memory, s);
  Forget(p.memory, s);
  // A graph term's id is not taken again within the pass: ids from the base
  // on are those of made terms, whose masks the store holds.
  if (made) p.freeIds.push_back(s);
}

// The visit of s found the expansion of its candidate u held by `holder`,
// a term of another character: s is noted with both, and may act again when
// holder leaves the output or u is expanded.
void NoteBlocked(Pass& p, int32_t s, int32_t u, int32_t holder) {
  const uint64_t arrival = p.memory.records[Idx(s)].serial;
  AddNote(p, HeadsOf(p, holder).blocking, s, arrival);
  AddNote(p, HeadsOf(p, u).blocked, s, arrival);
}

// Takes a candidate out of the working list and then out of the output.
// Terms whose expansion it blocked may act now. When it is expanded, a
// visited term that has the expansion as a candidate had the candidate itself
// as one, blocked; it may act now too.
void TakeOut(Pass& p, int32_t s, bool expanded) {
  TermRecord& r = StateOf(p, s);
  if (r.noted) {
    NoteHeads& heads = p.noteHeads[s];
    MarkAll(p, heads.blocking);
    if (expanded) MarkAll(p, heads.blocked);
    p.noteHeads.erase(s);
    r.noted = false;
  }
  Leave(p, s);
  Drop(p, s);
}

// What a check found of s: whether it is isolated.
void NoteChecked(ReduceMemory& m, int32_t s, bool isolated) {
  TermRecord& r = m.records[Idx(s)];
  r.checked = true;
  r.isolated = isolated;
}

// A visit of s met no other term: it meets none from now on.
void NoteIsolated(ReduceMemory& m, int32_t s) { m.records[Idx(s)].isolated = true; }

// The id is free again, with no record.
void ClearRecord(ReduceMemory& m, int32_t s) { m.records[Idx(s)] = TermRecord{}; }

}  // namespace tavro
