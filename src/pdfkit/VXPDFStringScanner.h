#pragma once
// Matches a keyword against the text shown on a page, string by string, and tells its delegate
// which glyphs a hit covers so that the page scanner can follow the text state.
//
// Matching is on lower-cased text (full Unicode lower-casing on both sides, so "STRAßE" finds
// "straße" but "STRASSE" does not), with typographic ligatures expanded into their letters on
// both sides, and exact for every other character: spaces match only shown spaces, there is no
// diacritic folding. It runs over the expanded characters as one stream across strings,
// operators and lines until reset(), and finds every occurrence that does not overlap an
// earlier hit: after a mismatch it resumes at the next start still possible inside the failed
// partial match ("aab" is found in "aaab"). A hit may begin or end inside a ligature ("off" in
// "oﬃce"); it then covers the whole ligature glyph.
//
// Glyphs are numbered in the order they are shown, from 0 since construction. For every shown
// glyph the delegate hears, in this order:
//   0. scannerDidShowText(text) with the glyph's decoded text as shown (not lower-cased), only
//      when setReportsText(true) asked for it;
//   1. scannerDidStartMatchingString(glyph) when a hit may begin at this glyph — the delegate
//      keeps the state before the glyph's advance under that number; states of glyphs before
//      earliestPossibleStart() are no longer needed;
//   2. scannerDidScanCharacter(code) with the glyph's raw code, to advance the text state;
//   3. scannerFoundString(firstGlyph) once per hit that ends in this glyph, naming the glyph
//      where it began.
//
// Threading: one scan at a time; not shared between threads.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pagewell {

class VXPDFFont;
class VXPDFStringScanner;

class VXPDFStringScannerDelegate {
  public:
    virtual ~VXPDFStringScannerDelegate() = default;
    virtual void scannerDidShowText(VXPDFStringScanner& scanner, std::u16string_view text) {
        (void)scanner;
        (void)text;
    }
    virtual void scannerDidStartMatchingString(VXPDFStringScanner& scanner, std::uint64_t glyph) {
        (void)scanner;
        (void)glyph;
    }
    virtual void scannerDidScanCharacter(VXPDFStringScanner& scanner, unsigned code) {
        (void)scanner;
        (void)code;
    }
    virtual void scannerFoundString(VXPDFStringScanner& scanner, std::uint64_t firstGlyph) {
        (void)scanner;
        (void)firstGlyph;
    }
};

class VXPDFStringScanner {
  public:
    // `keyword` is UTF-8; it is lower-cased and its ligatures are expanded. An empty keyword
    // matches nothing.
    explicit VXPDFStringScanner(std::string_view keyword,
                                VXPDFStringScannerDelegate* delegate = nullptr);

    void setDelegate(VXPDFStringScannerDelegate* delegate) { delegate_ = delegate; }
    // Whether the delegate hears each glyph's text (off by default: it costs a call per glyph).
    void setReportsText(bool reports) { reportsText_ = reports; }

    // Shows the PDF string `bytes` with `font`: the font splits it into character codes with
    // their text; the text is lower-cased and matched glyph by glyph, each glyph advancing by
    // its own code (code 0 advances nothing). Without a font the string shows nothing.
    void appendPDFString(std::string_view bytes, const VXPDFFont* font);

    // The same for text that is already decoded: glyph i of `text` (UTF-16, one glyph per code
    // point) advances by codes[i]. For callers and tests that have no font.
    void appendDecodedText(std::u16string_view text, const std::vector<unsigned>& codes);

    // Forgets any partial match (a TJ gap of a space or more, a new page).
    void reset();

    // The keyword as matched: lower-cased, ligatures expanded, UTF-16.
    const std::u16string& keyword() const { return keyword_; }
    // Index of the next keyword character to match (0 when no match is under way).
    std::size_t position() const { return matched_; }
    // The first glyph a hit that has not ended yet may begin at.
    std::uint64_t earliestPossibleStart() const;
    // Number of glyphs shown so far.
    std::uint64_t glyphCount() const { return glyphCount_; }

  private:
    void matchGlyphs(std::size_t glyphCount);
    void matchGlyph(const char16_t* units, std::size_t count, unsigned code, bool advances);
    void feed(char16_t unit);

    std::u16string keyword_;
    std::vector<std::size_t> failure_;      // failure_[j]: longest proper border of keyword[0..j]
    std::vector<std::uint64_t> glyphOf_;    // ring: glyph of each of the last |keyword| characters
    std::vector<std::uint64_t> hitStarts_;  // hits ending in the glyph being matched
    // Reused buffers: no allocation per string once warm. Glyph i shows text_[offsets_[i],
    // offsets_[i + 1]) and advances by codes_[i].
    std::u16string text_;
    std::vector<std::size_t> offsets_;
    std::vector<unsigned> codes_;
    std::u16string lowered_;
    std::u16string scratch_;
    VXPDFStringScannerDelegate* delegate_ = nullptr;
    bool reportsText_ = false;
    std::size_t matched_ = 0;
    std::uint64_t characterCount_ = 0;  // expanded characters fed since construction
    std::uint64_t glyphCount_ = 0;
};

}  // namespace pagewell
