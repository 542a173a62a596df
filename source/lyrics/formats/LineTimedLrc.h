#pragma once
// Plain LRC as the services deliver it (line times only), and the XML entity decoding the
// XML-wrapped formats need.

#include "lyrics/formats/ServiceLyric.h"

#include <string>
#include <string_view>
#include <vector>

namespace lirvo::lyrics::services {

// The timed lines of an LRC text in stable time order, texts trimmed. Header tags ("[ti:...]",
// "[offset:...]", unknown keys) never become lines; word tags are taken out of the text and
// the lines carry no words. Fractions of one, two or three digits are tenths, hundredths and
// milliseconds.
std::vector<TTimedLine> ParseLineTimedLrc(std::string_view text);

// Decodes &amp; &quot; &apos; &lt; &gt; and numeric references (&#NN; &#xHH;) of valid code
// points into UTF-8. Everything else, a stray "&" included, is kept as written.
std::string DecodeXmlEntities(std::string_view text);

} // namespace lirvo::lyrics::services
