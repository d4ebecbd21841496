#pragma once

// Text of the report page made safe for the place it goes.
//
// Titles, settings and warnings come from the user's parameters and the
// evaluation, so they may hold '<', '&', quotes or "</script>". Text shown in
// the page is HTML-escaped; text inside the page's JSON escapes '<', '>' and
// '&' as \u003c, \u003e and \u0026 as well as what JSON requires, so nothing in
// a string can end the script element that holds the data or start a comment.

#include <string>
#include <string_view>

namespace korvane {

// Appends `text` with &, <, >, " and ' replaced by character references.
void AppendHtmlEscaped(std::string& out, std::string_view text);

// Appends `text` as a JSON string literal, quotes included.
void AppendJsonString(std::string& out, std::string_view text);

// Appends a JSON number: the shortest text that reads back as the same
// double, or null when it is not finite (JSON has no NaN or infinity).
void AppendJsonNumber(std::string& out, double value);

// Appends the body of a script element: every "</script" (in any case) is
// written "<\/script", the same text to JavaScript inside a string or a
// regular expression, so that the element ends only where the page ends it.
void AppendScriptText(std::string& out, std::string_view script);

// A number for the summary table: four significant digits, with an exponent
// below 1e-4 and from 1e4 up, and an em dash when there is none (NaN).
std::string FormatReportNumber(double value);

}  // namespace korvane
