#include "provider/aggregate/cell_records.h"

#include <algorithm>
#include <utility>

namespace cubemill::provider::aggregate {
namespace {

// About this many bytes per block: large enough that the block list stays short, small enough
// that the last, partly filled block costs little.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

}  // namespace

CellRecords::CellRecords(std::size_t width, std::size_t measure_count, std::vector<bool> rests)
    : width_(width), measure_count_(measure_count), rests_(std::move(rests)) {
  rests_.resize(measure_count, false);
  std::size_t at = measure_count * sizeof(std::int64_t);
  rest_at_.assign(measure_count, kNoRest);
  for (std::size_t m = 0; m < measure_count; ++m) {
    if (!rests_[m]) continue;
    rest_at_[m] = at;
    at += sizeof(double);
  }
  members_at_ = at;
  states_at_ = members_at_ + width * sizeof(std::uint32_t);
  stride_ = std::max<std::size_t>(8, (states_at_ + measure_count + 7) / 8 * 8);
  shift_ = 0;
  while ((stride_ << (shift_ + 1)) <= kBlockBytes) ++shift_;
  mask_ = (std::size_t{1} << shift_) - 1;
}

std::size_t CellRecords::Append(const std::uint32_t* members) {
  const std::size_t cell = count_;
  if ((cell & mask_) == 0) {
    blocks_.emplace_back();
    blocks_.back().reserve(stride_ << shift_);
  }
  std::vector<std::byte>& block = blocks_.back();
  block.resize(block.size() + stride_);  // zeroes: every measure NULL, padding zero
  std::byte* record = block.data() + block.size() - stride_;
  if (width_ > 0) std::memcpy(record + members_at_, members, width_ * sizeof(std::uint32_t));
  ++count_;
  return cell;
}

void CellRecords::SetOrder(std::vector<std::uint64_t> order, unsigned index_bits) {
  const std::uint64_t mask =
      index_bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << index_bits) - 1;
  for (std::uint64_t& entry : order) entry &= mask;
  order_ = std::move(order);
}

}  // namespace cubemill::provider::aggregate
