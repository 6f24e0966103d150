#include "PdfFixture.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <fstream>
#include <stdexcept>

namespace pagewell::test {

namespace {

std::string rectText(const PdfRect& rect) {
    return "[" + std::to_string(rect.x) + " " + std::to_string(rect.y) + " " +
           std::to_string(rect.x + rect.width) + " " + std::to_string(rect.y + rect.height) + "]";
}

}  // namespace

struct PdfFixture::Impl {
    QPDF pdf;
    std::vector<QPDFObjectHandle> pages;         // in page order
    std::vector<QPDFObjectHandle> intermediate;  // /Pages nodes below the root

    QPDFObjectHandle parse(const std::string& text) {
        // Wrapped in an array so that a bare reference ("5 0 R") parses as well.
        return QPDFObjectHandle::parse(&pdf, "[" + text + "]", "fixture object").getArrayItem(0);
    }
    QPDFObjectHandle rootPages() { return pdf.getRoot().getKey("/Pages"); }

    // Recounts /Count on every node so the page tree stays valid.
    void recount() {
        for (auto& node : intermediate) {
            node.replaceKey("/Count",
                            QPDFObjectHandle::newInteger(node.getKey("/Kids").getArrayNItems()));
        }
        rootPages().replaceKey("/Count",
                               QPDFObjectHandle::newInteger(static_cast<long long>(pages.size())));
    }
};

PdfFixture::PdfFixture() : impl_(std::make_unique<Impl>()) {
    auto logger = QPDFLogger::create();
    logger->setWarn(logger->discard());
    impl_->pdf.setLogger(logger);
    impl_->pdf.emptyPDF();
}

PdfFixture::~PdfFixture() = default;

std::string PdfFixture::addObject(const std::string& pdfSyntax) {
    return impl_->pdf.makeIndirectObject(impl_->parse(pdfSyntax)).unparse();
}

std::string PdfFixture::addStream(const std::string& data, const std::string& dictionaryEntries) {
    QPDFObjectHandle stream = impl_->pdf.newStream(data);
    QPDFObjectHandle entries = impl_->parse("<< " + dictionaryEntries + " >>");
    for (const auto& key : entries.getKeys()) {
        stream.getDict().replaceKey(key, entries.getKey(key));
    }
    return stream.unparse();
}

void PdfFixture::replaceObject(const std::string& reference, const std::string& pdfSyntax) {
    QPDFObjectHandle existing = impl_->parse(reference);
    impl_->pdf.replaceObject(existing.getObjGen(), impl_->parse(pdfSyntax));
}

std::string PdfFixture::addType1Font(const std::string& baseFont, const std::string& extraEntries) {
    return addObject("<< /Type /Font /Subtype /Type1 /BaseFont /" + baseFont + " " + extraEntries +
                     " >>");
}

int PdfFixture::addPage(const PdfFixturePage& page, std::optional<int> intermediateParent) {
    QPDFObjectHandle parent = intermediateParent
                                  ? impl_->intermediate.at(static_cast<size_t>(*intermediateParent))
                                  : impl_->rootPages();
    std::string text = "<< /Type /Page /MediaBox " + rectText(page.mediaBox);
    if (page.cropBox)
        text += " /CropBox " + rectText(*page.cropBox);
    if (page.rotate)
        text += " /Rotate " + std::to_string(*page.rotate);
    if (!page.resources.empty())
        text += " /Resources " + page.resources;
    text += " /Contents " + addStream(page.content) + " " + page.extraEntries + " >>";
    QPDFObjectHandle object = impl_->pdf.makeIndirectObject(impl_->parse(text));
    object.replaceKey("/Parent", parent);
    parent.getKey("/Kids").appendItem(object);
    impl_->pages.push_back(object);
    impl_->recount();
    return static_cast<int>(impl_->pages.size());
}

int PdfFixture::addIntermediatePagesNode(const std::string& extraEntries) {
    QPDFObjectHandle node = impl_->pdf.makeIndirectObject(
        impl_->parse("<< /Type /Pages /Kids [] /Count 0 " + extraEntries + " >>"));
    node.replaceKey("/Parent", impl_->rootPages());
    impl_->rootPages().getKey("/Kids").appendItem(node);
    impl_->intermediate.push_back(node);
    return static_cast<int>(impl_->intermediate.size() - 1);
}

void PdfFixture::setRootPagesEntries(const std::string& extraEntries) {
    QPDFObjectHandle entries = impl_->parse("<< " + extraEntries + " >>");
    for (const auto& key : entries.getKeys()) {
        impl_->rootPages().replaceKey(key, entries.getKey(key));
    }
}

void PdfFixture::setCatalogEntry(const std::string& key, const std::string& pdfSyntax) {
    impl_->pdf.getRoot().replaceKey("/" + key, impl_->parse(pdfSyntax));
}

std::string PdfFixture::pageReference(int pageNumber) const {
    return impl_->pages.at(static_cast<size_t>(pageNumber - 1)).unparse();
}

std::string PdfFixture::bytes() {
    QPDFWriter writer(impl_->pdf);
    writer.setOutputMemory();
    writer.setStaticID(true);
    writer.setCompressStreams(false);
    writer.write();
    auto buffer = writer.getBufferSharedPointer();
    return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

void PdfFixture::write(const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes();
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::shared_ptr<PdfDocumentHandle> PdfFixture::open() {
    auto handle = PdfDocumentHandle::createWithData(bytes(), "fixture.pdf");
    if (!handle.ok())
        throw std::runtime_error(handle.error().description);
    return std::move(handle).value();
}

}  // namespace pagewell::test
