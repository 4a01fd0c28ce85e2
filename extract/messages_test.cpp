// Tests of the console messages: each Japanese line's UTF-8 twin holds the
// same text as its Shift_JIS bytes, as the C library's own converter reads
// them.

#include "extract/messages.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace {

// `text` converted from Shift_JIS to UTF-8; empty if it cannot be.
std::string ShiftJisToUtf8(const std::string& text) {
  iconv_t converter = iconv_open("UTF-8", "SHIFT_JIS");
  // iconv_open() reports failure as (iconv_t)-1.
  if (converter ==
      reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr)
    return std::string();
  }
  std::string in = text, out(4 * text.size(), '\0');
  char* from = &in[0];
  char* to = &out[0];
  std::size_t fromLeft = in.size(), toLeft = out.size();
  const bool ok = iconv(converter, &from, &fromLeft, &to, &toLeft) !=
                  static_cast<size_t>(-1);
  iconv_close(converter);
  out.resize(out.size() - toLeft);
  return ok && fromLeft == 0 ? out : std::string();
}

TEST(MessagesTest, Utf8TwinsHoldTheTextOfTheShiftJisBytes) {
  EXPECT_EQ(ShiftJisToUtf8(kUsageMessage), kUsageMessageUtf8);
  EXPECT_EQ(ShiftJisToUtf8(kOpenFailureMessage), kOpenFailureMessageUtf8);
  EXPECT_EQ(std::string(kUsageMessageUtf8),
            "Usage: tamrek.exe [d88file(シナリオディスク)]\n");
}

}  // namespace
