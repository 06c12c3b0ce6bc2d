// The exchanges of a session as the summary shows them: by kind of
// command, how many were answered, unanswered and refused, and their
// response times; the slowest exchanges; the first commands left
// unanswered; replies that answer no command. The response times of the
// open update are kept beside, for its median and slowest.
//
// Its memory is taken when it is made: a room of kExactResponseTimes times
// and a histogram for each kind of command and for the open update.
#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <memory>

#include "analysis/refusals.h"
#include "analysis/reply_pairing.h"
#include "analysis/response_times.h"
#include "analysis/session_facts.h"

namespace ovantrex {

class SessionExchanges {
 public:
  SessionExchanges();

  // A command answered by the reply at replyOffset after milliseconds
  // (NaN where not known). inUpdate: it belongs to the open update. The counts are kept here,
  // beside the times, and handed to the facts when the trace ends.
  void answered(const PairedCommand& command, std::uint64_t replyOffset, double milliseconds,
                bool refused, bool inUpdate) {
    const auto kind = static_cast<std::size_t>(command.kind);
    Counts& counts = counts_[kind];
    ++counts.answered;
    counts.refused += refused ? 1 : 0;
    // Times that go backwards, or that are not known, have no place among
    // the response times.
    if (!(milliseconds >= 0 && milliseconds <= kLongest)) {
      ++untimed_;
      return;
    }
    const std::size_t bucket = ResponseHistogram::bucketOf(milliseconds);
    byKind_[kind]->add(milliseconds, bucket);
    if (inUpdate) update_.add(milliseconds, bucket);
    slowest_.consider(Exchange{command.offset, replyOffset, command.kind, milliseconds});
  }
  // A command settled, answered or not (fate); answered ones are counted
  // by answered().
  // (The unanswered ones of a kind are those of its commands not answered;
  // the first are listed.)
  void settled(const PairedCommand& command, Fate fate) {
    if (firstUnanswered_.size() < kFirstUnanswered && fate == Fate::Unanswered)
      firstUnanswered_.push(UnansweredCommand{command.offset, command.kind});
  }
  void unsolicited() { ++unsolicited_; }

  // Forgets every exchange (a new trace), keeping the room of the times.
  void clear();
  // A new update starts; the open one's median and slowest.
  void startUpdate() { update_.clear(); }
  ResponseSummary updateResponses() { return update_.summary(); }
  // The trace has ended: the exchanges go to the facts.
  void finish(SessionFacts& facts);

 private:
  // The longest finite time.
  static constexpr double kLongest = std::numeric_limits<double>::max();

  struct Counts {
    std::uint64_t answered = 0;
    std::uint64_t refused = 0;
  };
  std::array<Counts, kCommandKinds> counts_{};
  std::uint64_t unsolicited_ = 0;
  std::uint64_t untimed_ = 0;
  FixedList<UnansweredCommand, kFirstUnanswered> firstUnanswered_;
  SlowestExchanges slowest_;
  // The histograms of the kinds and of the open update, in one room.
  std::unique_ptr<ResponseHistogram, FreeDeleter> histograms_;
  std::array<std::unique_ptr<ResponseTimes>, kCommandKinds> byKind_;
  ResponseTimes update_;
};

}  // namespace ovantrex
