#include "imap/CertificateCheck.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <memory>

#include "common/Failure.h"

namespace kamo {

namespace {

struct TrustListFree {
    void operator()(gnutls_x509_trust_list_st* list) const { gnutls_x509_trust_list_deinit(list, 1); }
};
using TrustList = std::unique_ptr<gnutls_x509_trust_list_st, TrustListFree>;

// The certificates of the chain, each freed with the chain.
class Certificates {
public:
    ~Certificates() {
        for (gnutls_x509_crt_t crt : crts_)
            gnutls_x509_crt_deinit(crt);
    }
    bool Add(const std::string& der) {
        gnutls_x509_crt_t crt = nullptr;
        if (gnutls_x509_crt_init(&crt) < 0)
            return false;
        crts_.push_back(crt);
        gnutls_datum_t data{reinterpret_cast<unsigned char*>(const_cast<char*>(der.data())),
                            static_cast<unsigned>(der.size())};
        return gnutls_x509_crt_import(crt, &data, GNUTLS_X509_FMT_DER) >= 0;
    }
    gnutls_x509_crt_t* Data() { return crts_.data(); }
    unsigned Count() const { return static_cast<unsigned>(crts_.size()); }

private:
    std::vector<gnutls_x509_crt_t> crts_;
};

std::string StatusText(unsigned status) {
    gnutls_datum_t text{};
    if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) < 0)
        return "status " + std::to_string(status);
    std::string out(reinterpret_cast<const char*>(text.data), text.size);
    gnutls_free(text.data);
    return out;
}

} // namespace

std::optional<std::string> ChainRefusal(const std::vector<std::string>& derChain, const std::string& host,
                                        const std::string& caFile) {
    gnutls_x509_trust_list_t raw = nullptr;
    if (gnutls_x509_trust_list_init(&raw, 0) < 0)
        return std::string("no trust list");
    TrustList trust(raw);
    if (caFile.empty()) {
        if (gnutls_x509_trust_list_add_system_trust(raw, 0, 0) <= 0)
            return std::string("the system's certificate store is empty");
    } else if (gnutls_x509_trust_list_add_trust_file(raw, caFile.c_str(), nullptr, GNUTLS_X509_FMT_PEM, 0, 0) <= 0) {
        throw Failure(FailureCode::ImapCaFileUnreadable, {caFile});
    }

    if (derChain.empty())
        return std::string("the server sent no certificate");
    Certificates chain;
    for (const std::string& der : derChain)
        if (!chain.Add(der))
            return std::string("the server's certificate cannot be read");

    gnutls_typed_vdata_st purpose[2]{};
    purpose[0].type = GNUTLS_DT_DNS_HOSTNAME;
    purpose[0].data = reinterpret_cast<unsigned char*>(const_cast<char*>(host.c_str()));
    purpose[1].type = GNUTLS_DT_KEY_PURPOSE_OID;
    purpose[1].data = reinterpret_cast<unsigned char*>(const_cast<char*>(GNUTLS_KP_TLS_WWW_SERVER));
    unsigned status = 0;
    if (gnutls_x509_trust_list_verify_crt2(raw, chain.Data(), chain.Count(), purpose, 2, 0, &status, nullptr) < 0)
        return std::string("the chain cannot be checked");
    if (status != 0)
        return StatusText(status);
    return std::nullopt;
}

} // namespace kamo
