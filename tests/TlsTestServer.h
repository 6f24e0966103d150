#pragma once
// A TLS listener on loopback for the certificate cases: TestAuthority makes, at run time, a
// certificate authority of its own and server certificates it signs (for the loopback address,
// or for another name to show a mismatch), written as PEM files; TlsTestServer answers https on
// a free port with one of them and records what arrived. Nothing is read from the system's
// authorities, so the authority is unknown to the client until a test says to trust it.

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pagewell::test {

class TestAuthority {
  public:
    struct ServerFiles {
        std::filesystem::path certificate;
        std::filesystem::path key;
    };

    // Makes the authority and writes its certificate to DIRECTORY/authority.pem.
    explicit TestAuthority(std::filesystem::path directory) : directory_(std::move(directory)) {
        key_.reset(EVP_EC_gen("P-256"));
        certificate_.reset(X509_new());
        X509* ca = certificate_.get();
        prepare(ca, "Pagewell Test Authority", 1);
        X509_set_issuer_name(ca, X509_get_subject_name(ca));
        addExtension(ca, ca, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(ca, ca, NID_key_usage, "critical,keyCertSign,cRLSign");
        addExtension(ca, ca, NID_subject_key_identifier, "hash");
        X509_set_pubkey(ca, key_.get());
        X509_sign(ca, key_.get(), EVP_sha256());
        writeCertificate(ca, certificatePath());
    }

    std::filesystem::path certificatePath() const { return directory_ / "authority.pem"; }

    // A server certificate for `subjectAltName` ("IP:127.0.0.1", "DNS:other.example") signed
    // by this authority, with its key.
    ServerFiles issue(const std::string& name, const std::string& subjectAltName) {
        KeyPointer key(EVP_EC_gen("P-256"));
        CertificatePointer certificate(X509_new());
        X509* leaf = certificate.get();
        prepare(leaf, name, ++serial_);
        X509_set_issuer_name(leaf, X509_get_subject_name(certificate_.get()));
        X509_set_pubkey(leaf, key.get());
        addExtension(certificate_.get(), leaf, NID_basic_constraints, "CA:FALSE");
        addExtension(certificate_.get(), leaf, NID_subject_alt_name, subjectAltName);
        addExtension(certificate_.get(), leaf, NID_ext_key_usage, "serverAuth");
        addExtension(certificate_.get(), leaf, NID_authority_key_identifier, "keyid:always");
        X509_sign(leaf, key_.get(), EVP_sha256());
        ServerFiles files{directory_ / (name + ".pem"), directory_ / (name + ".key")};
        writeCertificate(leaf, files.certificate);
        std::FILE* out = std::fopen(files.key.c_str(), "w");
        PEM_write_PrivateKey(out, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
        std::fclose(out);
        return files;
    }

  private:
    struct KeyDeleter {
        void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    };
    struct CertificateDeleter {
        void operator()(X509* certificate) const { X509_free(certificate); }
    };
    using KeyPointer = std::unique_ptr<EVP_PKEY, KeyDeleter>;
    using CertificatePointer = std::unique_ptr<X509, CertificateDeleter>;

    static void prepare(X509* certificate, const std::string& commonName, long serial) {
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial);
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600);
        X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate), "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                   -1, 0);
    }
    static void addExtension(X509* issuer, X509* subject, int nid, const std::string& value) {
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, issuer, subject, nullptr, nullptr, 0);
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
        X509_add_ext(subject, extension, -1);
        X509_EXTENSION_free(extension);
    }
    static void writeCertificate(X509* certificate, const std::filesystem::path& path) {
        std::FILE* out = std::fopen(path.c_str(), "w");
        PEM_write_X509(out, certificate);
        std::fclose(out);
    }

    std::filesystem::path directory_;
    KeyPointer key_;
    CertificatePointer certificate_;
    long serial_ = 1;
};

class TlsTestServer {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    TlsTestServer(const TestAuthority::ServerFiles& files, Handler handler)
        : server_(files.certificate.c_str(), files.key.c_str()), handler_(std::move(handler)) {
        auto route = [this](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(mutex_);
                received_.push_back(request.method + " " + request.path);
            }
            handler_(request, response);
        };
        server_.Get(R"(/.*)", route);
        server_.set_keep_alive_max_count(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~TlsTestServer() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!server_.is_running() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        server_.stop();
        thread_.join();
    }
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    bool valid() const { return server_.is_valid() && port_ > 0; }
    std::string origin() const { return "https://127.0.0.1:" + std::to_string(port_); }
    // "METHOD /path" of every request that got past the handshake.
    std::vector<std::string> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

  private:
    httplib::SSLServer server_;
    Handler handler_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> received_;  // guarded by mutex_
};

}  // namespace pagewell::test
