// StepProductSink.h - picks the product records out of a STEP file while it is indexed,
// when their bytes are still in cache.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "StepFile.h"
#include "StepPagedText.h"
#include "StepParameters.h"
#include "StepProductRecords.h"

namespace step {

// Each indexing thread decodes into its own records with its own parser and code page; the
// second thread's records are kept when the main pass adopts its stretch and dropped when
// it discards it (the main pass then reads those records again).
class StepProductSink : public StepRecordSink {
 public:
  // kComplex: a complex record led by another type, which may hold a product part.
  enum Tag : uint8_t { kSkip = 0, kProduct, kFormation, kDefinition, kUsage, kComplex };

  // With an empty name bytes that are not UTF-8 read as Latin-1.
  bool SetCodePage(const std::string& name, std::string& error);

  uint8_t Select(std::string_view upperType) const override;
  uint8_t SelectComplex() const override { return kComplex; }
  void Take(unsigned thread, uint32_t slot, const StepEntry& entry, uint8_t tag,
            std::string_view body) override;
  void Adopt(uint32_t firstSlot, std::span<const uint16_t> typeCodes) override;
  void Discard() override;

  // Every record in file order; the sink is empty afterwards.
  StepProductRecords TakeRecords();
  // Complex instances with a product part that could not be read (malformed, or without
  // the part that holds the attributes).
  std::size_t ComplexUnread() const { return _complex[0] + _complex[1]; }

 private:
  void TakeComplex(unsigned thread, const StepEntry& entry, std::string_view body);
  std::string Text(unsigned thread, const StepValue& value) const;
  std::string Text(unsigned thread, std::span<const StepValue> items, std::size_t index) const;
  static uint64_t Ref(std::span<const StepValue> items, std::size_t index);

  StepProductRecords _records[2];
  StepParameters _params[2];
  StepPagedText _pages[2];
  std::size_t _complex[2] = {0, 0};
  // Sizes of the main pass's records when it adopted the second thread's stretch.
  std::array<std::size_t, 4> _adoptedAt{};
  bool _adopted = false;
};

}  // namespace step
