#include "pdfkit/VXPDFScanner.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <unicode/ustring.h>

#include "pdfkit/PdfArray.h"
#include "pdfkit/PdfContentScanner.h"
#include "pdfkit/PdfFontCache.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/PdfPageSpace.h"
#include "pdfkit/PdfStream.h"
#include "pdfkit/VXPDFFont.h"
#include "pdfkit/VXPDFFontManager.h"
#include "platform/Logger.h"

namespace pagewell {

// One content stream being scanned: the page's, or a form's with its own resources.
struct VXPDFScanner::ContentFrame {
    std::optional<PdfDictionary> resources;
    std::shared_ptr<const VXPDFFontManager> fonts;
    std::size_t baseDepth = 0;  // a form's Q never pops below the state it was entered with
};

namespace {

// Form content costs budget in proportion to its size, so that a page drawing a large form
// many times is bounded like a page with that much content of its own.
constexpr std::size_t kFormBytesPerOperator = 8;

std::optional<PdfAffineTransform> popMatrix(PdfContentScanner& scanner) {
    double values[6];
    for (int i = 5; i >= 0; --i) {
        auto value = scanner.popNumber();
        if (!value) {
            return std::nullopt;
        }
        values[i] = *value;
    }
    return PdfAffineTransform{values[0], values[1], values[2], values[3], values[4], values[5]};
}

std::string utf8FromUtf16(std::u16string_view text) {
    std::string result(text.size() * 3 + 1, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, text.data(),
                       static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) {
        return {};
    }
    result.resize(static_cast<std::size_t>(length));
    return result;
}

// How far the text may move between two strings, in ems of the current font, before the kept
// page text gets a space: further along the line than a narrow space, backwards, or off the
// line.
constexpr double kWordGapEms = 0.15;
constexpr double kBackwardsEms = 0.5;
constexpr double kLineChangeEms = 0.5;

bool isSpace(char16_t unit) {
    return unit == u' ' || unit == u'\t' || unit == u'\n' || unit == u'\r' || unit == 0x00A0;
}

// Text for a terminal: control characters (C0, DEL, C1) and line breaks become spaces, runs of
// spaces become one, and unpaired surrogates are replaced.
std::string displayText(std::u16string_view text) {
    std::u16string cleaned;
    cleaned.reserve(text.size());
    for (char16_t unit : text) {
        const bool control = unit < 0x20 || (unit >= 0x7F && unit < 0xA0) || unit == 0x2028 ||
                             unit == 0x2029 || unit == 0x00A0;
        const char16_t shown = control ? u' ' : unit;
        if (shown == u' ' && !cleaned.empty() && cleaned.back() == u' ') {
            continue;
        }
        cleaned.push_back(shown);
    }
    return utf8FromUtf16(cleaned);
}

bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

VXPDFScanner::VXPDFScanner(std::shared_ptr<PdfFontCache> fontCache)
    : fontCache_(fontCache ? std::move(fontCache) : std::make_shared<PdfFontCache>()) {
    buildOperatorTable();
}

VXPDFScanner::~VXPDFScanner() = default;

void VXPDFScanner::setKeyword(std::string keyword) {
    keyword_ = std::move(keyword);
    stringScanner_.reset();
}

bool VXPDFScanner::charge(PdfContentScanner& scanner, std::size_t cost) {
    operatorsUsed_ += cost;
    if (operatorsUsed_ > operatorBudget_) {
        if (!budgetExhausted_) {
            PW_LOG_WARNING("Page scan stopped after {} operators", operatorBudget_);
        }
        budgetExhausted_ = true;
        scanner.stop();
        return false;
    }
    return true;
}

void VXPDFScanner::buildOperatorTable() {
    // Each callback charges the budget first and, per the operand rules, changes nothing when
    // a pop fails or when a Q has left the page without a current state.
    auto on = [this](const char* name,
                     std::function<void(PdfContentScanner&, VXPDFRenderState&)> op) {
        table_.setCallback(name, [this, op = std::move(op)](PdfContentScanner& scanner) {
            if (!charge(scanner)) {
                return;
            }
            if (VXPDFRenderState* current = state()) {
                op(scanner, *current);
            }
        });
    };
    auto number = [&on](const char* name, double VXPDFRenderState::*field) {
        on(name, [field](PdfContentScanner& scanner, VXPDFRenderState& s) {
            if (auto value = scanner.popNumber()) {
                s.*field = *value;
            }
        });
    };

    on("BT", [](PdfContentScanner&, VXPDFRenderState& s) {
        s.setTextMatrix(PdfAffineTransform::identity());
    });
    on("Tf", [this](PdfContentScanner& scanner, VXPDFRenderState& s) {
        auto size = scanner.popNumber();
        if (!size) {
            return;
        }
        auto name = scanner.popName();
        if (!name) {
            return;
        }
        const auto& fonts = frames_.back().fonts;
        s.font = fonts ? fonts->fontNamed(*name) : nullptr;
        s.fontName = *name;
        s.fontSize = *size;
    });
    number("Tc", &VXPDFRenderState::characterSpacing);
    number("Tw", &VXPDFRenderState::wordSpacing);
    number("TL", &VXPDFRenderState::leading);
    number("Tz", &VXPDFRenderState::horizontalScaling);
    number("Ts", &VXPDFRenderState::textRise);
    on("Tm", [](PdfContentScanner& scanner, VXPDFRenderState& s) {
        if (auto matrix = popMatrix(scanner)) {
            s.setTextMatrix(*matrix);
        }
    });
    on("Td", [](PdfContentScanner& scanner, VXPDFRenderState& s) {
        auto ty = scanner.popNumber();
        auto tx = ty ? scanner.popNumber() : std::nullopt;
        if (tx) {
            s.translateLine(*tx, *ty);
        }
    });
    on("TD", [](PdfContentScanner& scanner, VXPDFRenderState& s) {
        auto ty = scanner.popNumber();
        auto tx = ty ? scanner.popNumber() : std::nullopt;
        if (tx) {
            s.translateLine(*tx, *ty);
            s.leading = -*ty;
        }
    });
    on("T*", [](PdfContentScanner&, VXPDFRenderState& s) { s.nextLine(); });
    on("Tj", [this](PdfContentScanner& scanner, VXPDFRenderState&) {
        if (auto string = scanner.popString()) {
            showString(string->bytes());
        }
    });
    on("'", [this](PdfContentScanner& scanner, VXPDFRenderState& s) {
        if (auto string = scanner.popString()) {
            s.nextLine();
            showString(string->bytes());
        }
    });
    on("\"", [this](PdfContentScanner& scanner, VXPDFRenderState& s) {
        auto string = scanner.popString();
        auto ac = string ? scanner.popNumber() : std::nullopt;
        auto aw = ac ? scanner.popNumber() : std::nullopt;
        if (aw) {
            s.wordSpacing = *aw;
            s.characterSpacing = *ac;
            s.nextLine();
            showString(string->bytes());
        }
    });
    on("TJ", [this](PdfContentScanner& scanner, VXPDFRenderState&) {
        auto array = scanner.popArray();
        if (!array) {
            return;
        }
        const std::size_t count = array->count();
        for (std::size_t i = 0; i < count; ++i) {
            VXPDFRenderState* current = state();
            if (current == nullptr) {
                return;
            }
            // One element handle, then its typed values: each array getter would look the
            // element up again.
            const std::optional<PdfObject> element = array->getObject(i);
            if (!element) {
                continue;
            }
            if (auto string = element->getString()) {
                showString(string->bytes());
            } else if (auto adjustment = element->getNumber()) {
                current->advanceText(-*adjustment / 1000.0 * current->fontSize);
                // A real-number gap at least one space wide separates words: the match
                // restarts. Integer gaps (kerning) never do.
                if (!element->getInteger()) {
                    const double space = current->font ? current->font->widthOfSpace() : 0;
                    if (space <= std::abs(std::trunc(*adjustment))) {
                        resetMatch();
                    }
                }
            }
        }
    });
    on("cm", [](PdfContentScanner& scanner, VXPDFRenderState& s) {
        if (auto matrix = popMatrix(scanner)) {
            s.concatCTM(*matrix);
        }
    });
    on("q", [this](PdfContentScanner&, VXPDFRenderState& s) { stack_.pushRenderState(s); });
    on("Q", [this](PdfContentScanner&, VXPDFRenderState&) {
        if (stack_.count() > frames_.back().baseDepth) {
            stack_.popRenderState();
        }
    });
    on("Do", [this](PdfContentScanner& scanner, VXPDFRenderState&) {
        if (auto name = scanner.popName()) {
            drawXObject(scanner, *name);
        }
    });
}

void VXPDFScanner::beginScan() {
    selections_.clear();
    glyphStarts_.clear();
    frames_.clear();
    stack_ = VXPDFRenderStateStack();
    operatorsUsed_ = 0;
    budgetExhausted_ = false;
    pageText_.clear();
    glyphTextBegin_ = 0;
    lastTextEnd_.reset();
    hitText_.clear();
    if (!keyword_.empty()) {
        if (!stringScanner_) {
            stringScanner_ = std::make_unique<VXPDFStringScanner>(
                keyword_, static_cast<VXPDFStringScannerDelegate*>(this));
        }
        stringScanner_->reset();
        stringScanner_->setReportsText(describesHits_);
    }
}

void VXPDFScanner::scanPage(const PdfPage& page) {
    if (keyword_.empty() && !stringObserver_) {
        return;
    }
    beginScan();
    auto resources = page.resources();
    frames_.push_back(ContentFrame{resources, fontCache_->fontManagerFor(resources), 0});
    PdfContentScanner scanner(table_);
    if (!scanner.scan(page)) {
        PW_LOG_WARNING("The content of page {} could not be read", page.pageNumber());
    }
    frames_.clear();
    if (describesHits_) {
        const PdfAffineTransform toPageSpace = PdfPageSpace::fromUserSpace(page);
        describeHits(&toPageSpace);
    }
}

void VXPDFScanner::scanContent(std::string_view content,
                               const std::optional<PdfDictionary>& resources) {
    if (keyword_.empty() && !stringObserver_) {
        return;
    }
    beginScan();
    frames_.push_back(ContentFrame{resources, fontCache_->fontManagerFor(resources), 0});
    PdfContentScanner scanner(table_);
    scanner.scanData(content);
    frames_.clear();
    if (describesHits_) {
        describeHits(nullptr);
    }
}

void VXPDFScanner::drawXObject(PdfContentScanner& scanner, const std::string& name) {
    const ContentFrame& frame = frames_.back();
    if (!frame.resources) {
        return;
    }
    auto xobjects = frame.resources->getDictionary("XObject");
    if (!xobjects) {
        return;
    }
    auto form = xobjects->getStream(name);
    if (!form || form->dictionary().getName("Subtype") != std::optional<std::string>("Form")) {
        return;
    }
    if (static_cast<int>(frames_.size()) - 1 >= kMaxFormDepth) {
        PW_LOG_WARNING("Form {} nested deeper than {} levels is not scanned", name, kMaxFormDepth);
        return;
    }
    scanForm(*form, scanner);
}

void VXPDFScanner::scanForm(const PdfStream& form, PdfContentScanner& outer) {
    const PdfDictionary dictionary = form.dictionary();
    const auto length = dictionary.getInteger("Length").value_or(0);
    const std::size_t cost =
        1 + static_cast<std::size_t>(std::max<std::int64_t>(length, 0)) / kFormBytesPerOperator;
    if (!charge(outer, cost)) {
        return;
    }
    // Drawing a form is q, cm with its /Matrix, its content, Q.
    const std::size_t depth = stack_.count();
    stack_.pushRenderState(*state());
    if (auto matrix = dictionary.getArray("Matrix"); matrix && matrix->count() == 6) {
        double values[6];
        bool complete = true;
        for (std::size_t i = 0; i < 6; ++i) {
            auto value = matrix->getNumber(i);
            complete = complete && value.has_value();
            values[i] = value.value_or(0);
        }
        if (complete) {
            state()->concatCTM({values[0], values[1], values[2], values[3], values[4], values[5]});
        }
    }
    auto resources = dictionary.getDictionary("Resources");
    if (!resources) {
        resources = frames_.back().resources;
    }
    frames_.push_back(ContentFrame{resources, fontCache_->fontManagerFor(resources), depth + 1});
    PdfContentScanner inner(table_);
    inner.scan(form);
    frames_.pop_back();
    stack_.truncate(depth);
    if (budgetExhausted_) {
        outer.stop();
    }
}

void VXPDFScanner::showString(const std::string& bytes) {
    VXPDFRenderState* current = state();
    if (current == nullptr) {
        return;
    }
    const VXPDFFont* font = current->font.get();
    if (stringObserver_ && font != nullptr) {
        stringObserver_(current->fontName,
                        utf8FromUtf16(font->stringWithPDFString(PdfString(bytes))));
    }
    if (stringScanner_) {
        if (describesHits_) {
            noteTextPosition(*current);
        }
        stringScanner_->appendPDFString(bytes, font);
        if (describesHits_ && (current = state()) != nullptr) {
            lastTextEnd_ = current->textMatrix.concat(current->ctm).apply(PdfPoint{0, 0});
        }
    }
}

void VXPDFScanner::noteTextPosition(const VXPDFRenderState& current) {
    const PdfAffineTransform toUser = current.textMatrix.concat(current.ctm);
    const PdfPoint origin = toUser.apply(PdfPoint{0, 0});
    if (!lastTextEnd_ || pageText_.empty() || isSpace(pageText_.back())) {
        return;
    }
    // The move since the last string, along the baseline and across it, in ems.
    const double dx = origin.x - lastTextEnd_->x;
    const double dy = origin.y - lastTextEnd_->y;
    const double alongLength = std::hypot(toUser.a, toUser.b);
    const double acrossLength = std::hypot(toUser.c, toUser.d);
    const double emAlong = std::abs(current.fontSize) * alongLength;
    const double emAcross = std::abs(current.fontSize) * acrossLength;
    bool gap = false;
    if (emAlong <= 0 || emAcross <= 0) {
        gap = std::hypot(dx, dy) > 1e-6;
    } else {
        const double along = (dx * toUser.a + dy * toUser.b) / alongLength;
        const double across = std::abs(dx * toUser.c + dy * toUser.d) / acrossLength;
        gap = along > kWordGapEms * emAlong || along < -kBackwardsEms * emAlong ||
              across > kLineChangeEms * emAcross;
    }
    if (gap) {
        pageText_.push_back(u' ');
    }
}

void VXPDFScanner::describeHits(const PdfAffineTransform* toPageSpace) {
    for (std::size_t i = 0; i < selections_.size() && i < hitText_.size(); ++i) {
        const std::size_t end = std::min(hitText_[i].end, pageText_.size());
        const std::size_t begin = std::min(hitText_[i].begin, end);
        // Up to kContextCharacters on each side, cut back to whole words where the cut falls
        // inside one, and never inside a surrogate pair.
        std::size_t from = begin > kContextCharacters ? begin - kContextCharacters : 0;
        if (from > 0 && !isSpace(pageText_[from - 1])) {
            while (from < begin && !isSpace(pageText_[from])) {
                ++from;
            }
        }
        while (from < begin && isLowSurrogate(pageText_[from])) {
            ++from;
        }
        std::size_t to = std::min(pageText_.size(), end + kContextCharacters);
        if (to < pageText_.size() && !isSpace(pageText_[to])) {
            while (to > end && !isSpace(pageText_[to - 1])) {
                --to;
            }
        }
        while (to > end && to < pageText_.size() && isLowSurrogate(pageText_[to])) {
            --to;
        }
        const std::u16string_view text(pageText_);
        VXPDFSelection::Description description;
        description.before = displayText(text.substr(from, begin - from));
        description.match = displayText(text.substr(begin, end - begin));
        description.after = displayText(text.substr(end, to - end));
        if (toPageSpace != nullptr) {
            description.pageSpaceRect = PdfPageSpace::rectOf(selections_[i], *toPageSpace);
        }
        selections_[i].setDescription(std::move(description));
    }
}

void VXPDFScanner::resetMatch() {
    if (stringScanner_) {
        stringScanner_->reset();
    }
    glyphStarts_.clear();
}

void VXPDFScanner::scannerDidShowText(VXPDFStringScanner&, std::u16string_view text) {
    glyphTextBegin_ = pageText_.size();
    pageText_.append(text);
}

void VXPDFScanner::scannerDidStartMatchingString(VXPDFStringScanner& scanner, std::uint64_t glyph) {
    const VXPDFRenderState* current = state();
    if (current == nullptr) {
        return;
    }
    const std::uint64_t earliest = scanner.earliestPossibleStart();
    while (!glyphStarts_.empty() && glyphStarts_.front().glyph < earliest) {
        glyphStarts_.pop_front();
    }
    glyphStarts_.push_back(GlyphStart{glyph, *current, glyphTextBegin_});
}

void VXPDFScanner::scannerDidScanCharacter(VXPDFStringScanner&, unsigned code) {
    VXPDFRenderState* current = state();
    if (current == nullptr) {
        return;
    }
    const double width =
        current->font ? current->font->widthOfCharacter(code, current->fontSize) : 0.0;
    double advance = width / 1000.0 + current->characterSpacing;
    if (code == 32) {
        advance += current->wordSpacing;
    }
    current->advanceText(advance);
}

void VXPDFScanner::scannerFoundString(VXPDFStringScanner&, std::uint64_t firstGlyph) {
    const VXPDFRenderState* current = state();
    if (current == nullptr) {
        return;
    }
    for (const GlyphStart& start : glyphStarts_) {
        if (start.glyph == firstGlyph) {
            VXPDFSelection selection(start.state);
            selection.finalizeWithState(*current);
            selections_.push_back(std::move(selection));
            if (describesHits_) {
                hitText_.push_back(TextRange{start.textOffset, pageText_.size()});
            }
            return;
        }
    }
}

}  // namespace pagewell
