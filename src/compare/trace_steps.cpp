#include "compare/trace_steps.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <variant>

namespace ovantrex {

namespace {

constexpr std::uint64_t kDigestBits = (std::uint64_t{1} << 48) - 1;

std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

// A digest of bytes, eight at a time.
std::uint64_t digest(Bytes bytes, std::uint64_t seed = 0) {
  std::uint64_t h = mix(seed ^ (bytes.size() * 0x9e3779b97f4a7c15ULL));
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data() + i, 8);
    h = mix(h ^ word) + i;
  }
  std::uint64_t tail = 0;
  for (std::size_t j = 0; i + j < bytes.size(); ++j) tail |= std::uint64_t{bytes[i + j]} << (8 * j);
  return mix(h ^ tail);
}

std::uint64_t keyOf(StepKind kind, std::uint8_t code, std::uint64_t digest) {
  return std::uint64_t{static_cast<std::uint8_t>(kind)} << 56 | std::uint64_t{code} << 48 |
         (digest & kDigestBits);
}

std::uint32_t addressAndCount(std::uint32_t address, std::uint8_t count) {
  return (address & 0xFFFFFF) | std::uint32_t{count} << 24;
}

std::uint32_t responseBits(const RecordFacts& facts) {
  float ms = std::numeric_limits<float>::quiet_NaN();
  if (facts.answers() != nullptr && std::isfinite(facts.responseMs))
    ms = static_cast<float>(facts.responseMs);
  return std::bit_cast<std::uint32_t>(ms);
}

Step commandStep(const DecodedRecord& decoded, const FirmwareCommand& command) {
  const Bytes data = decoded.transfer.data.bytes;
  Step step;
  std::uint64_t fields = 0;
  switch (command.kind) {
    case CommandKind::FlashWrite:
      // The fixed fields alone: the bytes written are the image's.
      fields = digest(data.first(data.size() < kCommandFields ? data.size() : kCommandFields));
      step.detail = addressAndCount(command.address, command.dataCount);
      step.extra = static_cast<std::uint32_t>(digest(flashWriteBytes(data, command.flashWrite())));
      break;
    case CommandKind::ReadOneRecord:
    case CommandKind::ReadAllRecords:
      fields = digest(data);
      step.detail = addressAndCount(command.address, command.dataCount);
      break;
    case CommandKind::System:
      fields = digest(data);
      step.detail = systemCommandCode(command) | std::uint32_t{command.subCommand} << 8;
      break;
    case CommandKind::ChecksumWrite:
      fields = digest(data);
      step.detail = command.checksum;
      break;
    case CommandKind::SerialNumber:
      fields = digest(data);
      step.detail = static_cast<std::uint32_t>(command.serialLength);
      break;
    default: fields = digest(data); break;
  }
  step.setKey(keyOf(StepKind::Command, static_cast<std::uint8_t>(command.kind), fields));
  return step;
}

Step replyStep(const DecodedRecord& decoded, const RecordFacts& facts, StepPart& part) {
  const Bytes data = decoded.transfer.data.bytes;
  Step step;
  step.extra = responseBits(facts);
  if (const auto* status = std::get_if<StatusReply>(&decoded.body)) {
    // The six fields, and a flash read's contents.
    std::uint64_t fields = digest(data.first(data.size() < 6 ? data.size() : 6));
    if (status->flashRead) {
      fields = mix(fields ^ digest(status->contents.bytes));
      step.detail = addressAndCount(status->flashAddressValue(), status->flashLength);
    }
    if (status->has(StatusBit::EcInformation)) {
      step.detail = std::uint32_t{status->ecCurrent[0]} << 24 |
                    std::uint32_t{status->ecCurrent[1]} << 16 |
                    std::uint32_t{status->ecPrevious[0]} << 8 | status->ecPrevious[1];
      part.hasEcLevels = true;
      part.ecLevels = {status->ecCurrent[0], status->ecCurrent[1], status->ecPrevious[0],
                       status->ecPrevious[1]};
    }
    step.setKey(keyOf(StepKind::StatusReply, status->status, fields));
    return step;
  }
  OtherReply other = OtherReply::FeatureRead;
  if (const auto* component = std::get_if<ComponentReport>(&decoded.body)) {
    other = std::holds_alternative<SmReport>(component->body) ? OtherReply::SmReport
                                                              : OtherReply::VersionList;
  }
  step.detail = static_cast<std::uint32_t>(data.size());
  step.setKey(keyOf(StepKind::OtherReply, static_cast<std::uint8_t>(other), digest(data)));
  return step;
}

}  // namespace

std::optional<double> Step::responseMs() const {
  if (!isReply()) return std::nullopt;
  const float ms = std::bit_cast<float>(extra);
  if (std::isnan(ms)) return std::nullopt;
  // Kept in a float: back to the microsecond that it was rounded to.
  return std::round(static_cast<double>(ms) * 1000) / 1000;
}

TraceSteps::TraceSteps() {
  blocks_.reserve(kMaxSteps / kBlock);
  blockOffsets_.reserve(kMaxSteps / kBlock);
  parts_.reserve(kMaxParts);
  texts_.reserve(kTextRoom);
}

void TraceSteps::clear() {
  blocks_.clear();
  blockOffsets_.clear();
  farOffsets_.clear();
  size_ = 0;
  leftOut_ = 0;
  updatesLeftOut_ = 0;
  parts_.clear();
  texts_.clear();
  textsNotKept_ = 0;
}

void TraceSteps::add(Step step, std::uint64_t offset) {
  if (size_ == kMaxSteps) {
    ++leftOut_;
    return;
  }
  if (size_ % kBlock == 0) {
    blocks_.push_back(std::make_unique_for_overwrite<Step[]>(kBlock));
    blockOffsets_.push_back(offset);
  }
  const std::uint64_t past = offset - blockOffsets_.back();
  step.offsetInBlock = past < kFarOffset ? static_cast<std::uint32_t>(past) : kFarOffset;
  if (step.offsetInBlock == kFarOffset) farOffsets_.emplace_back(size_, offset);
  blocks_[size_ / kBlock][size_ % kBlock] = step;
  ++size_;
  ++parts_.back().count;
}

StepPart* TraceSteps::partOf(std::size_t update, double stamp) {
  if (update >= kMaxParts) return nullptr;
  while (parts_.size() <= update) parts_.push_back(StepPart{.first = size_});
  StepPart& part = parts_[update];
  if (std::isfinite(stamp)) {
    if (!part.stamped) part.firstStamp = stamp;
    part.stamped = true;
    part.lastStamp = stamp;
  }
  return &part;
}

Step TraceSteps::textStep(const DecodedRecord& decoded) {
  const Bytes text = decoded.text.bytes;
  Step step;
  step.setKey(keyOf(StepKind::Text, 0, digest(text)));
  step.extra = static_cast<std::uint32_t>(text.size());
  step.detail = kNoText;
  const std::size_t kept = text.size() < kKeptText ? text.size() : kKeptText;
  if (size_ == kMaxSteps) return step;  // a step left out
  if (texts_.size() + kept <= kTextRoom) {
    step.detail = static_cast<std::uint32_t>(texts_.size());
    texts_.insert(texts_.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(kept));
  } else {
    ++textsNotKept_;
  }
  return step;
}

void TraceSteps::record(const Record& record, const DecodedRecord& decoded,
                        const RecordFacts& facts) {
  StepPart* part = partOf(facts.update, record.header.timeStamp);
  const bool text = decoded.type == RecordType::Text && !decoded.hidden;
  const PairRole role = ReplyPairing::roleOf(decoded);
  if (!text && role == PairRole::None) return;
  if (part == nullptr) {
    ++leftOut_;
    if (role == PairRole::Command &&
        std::get_if<FirmwareCommand>(&decoded.body)->kind == CommandKind::StartFlashUpdate)
      ++updatesLeftOut_;
    return;
  }
  const std::uint64_t offset = record.offset;
  Step step;
  if (text) {
    step = textStep(decoded);
  } else if (role == PairRole::Command) {
    step = commandStep(decoded, *std::get_if<FirmwareCommand>(&decoded.body));
  } else {
    step = replyStep(decoded, facts, *part);
  }
  add(step, offset);
}

std::uint64_t TraceSteps::offset(std::uint64_t i) const {
  const Step& s = step(i);
  if (s.offsetInBlock != kFarOffset) return blockOffsets_[i / kBlock] + s.offsetInBlock;
  const auto far = std::lower_bound(farOffsets_.begin(), farOffsets_.end(),
                                    std::pair<std::uint64_t, std::uint64_t>{i, 0});
  return far->second;
}

std::string_view TraceSteps::text(const Step& step) const {
  if (step.detail == kNoText) return {};
  const std::size_t kept = step.extra < kKeptText ? step.extra : kKeptText;
  return {texts_.data() + step.detail, kept};
}

}  // namespace ovantrex
