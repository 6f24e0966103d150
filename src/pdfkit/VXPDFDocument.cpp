#include "pdfkit/VXPDFDocument.h"

#include <filesystem>

#include "pdfkit/PdfPageRenderer.h"
#include "pdfkit/VXPDFSelectionManager.h"
#include "pdfkit/VXPDFTransform.h"
#include "platform/Logger.h"
#include "platform/NotificationCenter.h"

namespace pagewell {

namespace {

std::mutex sharedMutex;
std::shared_ptr<VXPDFDocument> sharedDocument;  // guarded by sharedMutex

constexpr std::string_view kFileScheme = "file://";
constexpr std::string_view kLocalhostPrefix = "file://localhost";

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                decoded.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        decoded.push_back(text[i]);
    }
    return decoded;
}

}  // namespace

VXPDFDocument::VXPDFDocument() = default;
VXPDFDocument::~VXPDFDocument() = default;

VXPDFDocument& VXPDFDocument::getInstance() {
    std::lock_guard lock(sharedMutex);
    if (!sharedDocument) {
        sharedDocument = std::make_shared<VXPDFDocument>();
    }
    return *sharedDocument;
}

void VXPDFDocument::setShared(std::shared_ptr<VXPDFDocument> document) {
    std::lock_guard lock(sharedMutex);
    sharedDocument = std::move(document);
}

std::optional<std::string> VXPDFDocument::pathFromFileURL(const std::string& url) {
    std::string_view rest;
    if (url.starts_with(kLocalhostPrefix)) {
        rest = std::string_view(url).substr(kLocalhostPrefix.size());
    } else if (url.starts_with(kFileScheme)) {
        rest = std::string_view(url).substr(kFileScheme.size());
    } else {
        return std::nullopt;
    }
    return percentDecode(rest);
}

std::string VXPDFDocument::fileURLForPath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    const std::string text = ec ? path : absolute.lexically_normal().string();
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url(kFileScheme);
    for (unsigned char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') ||
                           std::string_view("/-._~").find(c) != std::string_view::npos;
        if (plain) {
            url.push_back(static_cast<char>(c));
        } else {
            url.push_back('%');
            url.push_back(kHex[c >> 4]);
            url.push_back(kHex[c & 0xF]);
        }
    }
    return url;
}

void VXPDFDocument::reportError(const ErrorCallback& errorBlock, Error error) const {
    PW_LOG_ERROR_VALUE(error);
    if (errorBlock) {
        errorBlock(error);
    }
}

void VXPDFDocument::openDocument(const std::optional<std::string>& url,
                                 const Completion& completion, const ErrorCallback& errorBlock) {
    closeDocument();
    if (!url || url->empty()) {
        reportError(errorBlock, Error::make(kErrorDomain, kErrorCode, kUrlIsNil));
        return;
    }
    std::optional<std::string> path = pathFromFileURL(*url);
    if (!path) {
        reportError(errorBlock, Error::make(kOpenExceptionName, kErrorCode, kOpenExceptionReason));
        return;
    }
    std::string name = std::filesystem::path(*path).filename().string();
    {
        std::lock_guard lock(mutex_);
        filePath_ = *path;
        fileName_ = name;
    }
    Result<std::shared_ptr<PdfDocumentHandle>> handle = PdfDocumentHandle::createWithPath(*path);
    if (!handle.ok()) {
        PW_LOG_ERROR_VALUE(handle.error());
        reportError(errorBlock, Error::make(kErrorDomain, kErrorCode, kDocumentRefIsNil));
        return;
    }
    {
        std::lock_guard lock(mutex_);
        document_ = std::move(handle).value();
    }
    if (completion) {
        completion();
    }
}

void VXPDFDocument::closeDocument() {
    std::shared_ptr<PdfDocumentHandle> closing;
    std::shared_ptr<VXPDFSelectionManager> selections;
    {
        std::lock_guard lock(mutex_);
        if (!document_) {
            return;
        }
        closing = document_;
        selections = std::move(selections_);
        selections_.reset();
        renderer_.reset();
    }
    if (selections) {
        selections->removeAllPDFSelections();
    }
    NotificationCenter::shared().post(kPdfClosedEvent);
    std::lock_guard lock(mutex_);
    document_.reset();
}

bool VXPDFDocument::isOpen() const {
    std::lock_guard lock(mutex_);
    return document_ != nullptr;
}

std::optional<PdfPage> VXPDFDocument::getPage(int pageNumber) const {
    auto document = documentHandle();
    return document ? document->page(pageNumber) : std::nullopt;
}

int VXPDFDocument::getNumberOfPages() const {
    auto document = documentHandle();
    return document ? document->numberOfPages() : 0;
}

std::optional<PdfDictionary> VXPDFDocument::getCatalog() const {
    auto document = documentHandle();
    return document ? std::optional<PdfDictionary>(document->catalog()) : std::nullopt;
}

std::shared_ptr<PdfDocumentHandle> VXPDFDocument::documentHandle() const {
    std::lock_guard lock(mutex_);
    return document_;
}

std::string VXPDFDocument::getFilePath() const {
    std::lock_guard lock(mutex_);
    return filePath_;
}

std::string VXPDFDocument::fileName() const {
    std::lock_guard lock(mutex_);
    return fileName_;
}

PdfRect VXPDFDocument::getRectForPage(int pageNumber, const PdfRect& target) const {
    std::optional<PdfPage> page = getPage(pageNumber);
    if (!page) {
        return {};
    }
    return VXPDFTransform::scaledPageRect(PdfPageRenderer::visibleBox(*page), page->rotationAngle(),
                                          target);
}

void VXPDFDocument::setRenderingQuality(int quality) {
    std::lock_guard lock(mutex_);
    renderingQuality_ = quality;
}

int VXPDFDocument::getRenderingQuality() const {
    std::lock_guard lock(mutex_);
    return renderingQuality_;
}

std::shared_ptr<PdfPageRenderer> VXPDFDocument::pageRenderer() {
    std::lock_guard lock(mutex_);
    if (!document_) {
        return nullptr;
    }
    if (!renderer_) {
        auto opened = PdfPageRenderer::open(filePath_);
        if (!opened.ok()) {
            PW_LOG_ERROR_VALUE(opened.error());
            return nullptr;
        }
        renderer_ = std::move(opened).value();
    }
    return renderer_;
}

std::shared_ptr<VXPDFSelectionManager> VXPDFDocument::selectionManager() {
    std::lock_guard lock(mutex_);
    if (!selections_) {
        selections_ = std::make_shared<VXPDFSelectionManager>();
    }
    return selections_;
}

}  // namespace pagewell
