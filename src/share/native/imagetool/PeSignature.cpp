// The Authenticode signature of a 64-bit Windows program. The certificate
// table and the image digest that the signature signs are read here; the
// PKCS#7 message and the digests are the platform's (SignatureCrypto.h).
#include "PeSignature.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "ByteAccess.h"
#include "DerReader.h"
#include "PeHeaders.h"
#include "PeFile.h"
#include "PeImageError.h"
#include "SignatureCrypto.h"
#include "ToolError.h"
#include "ToolFiles.h"

namespace imagetool {

namespace {

// WIN_CERTIFICATE: dwLength, wRevision, wCertificateType, then the
// certificate itself.
const std::size_t certificateHeaderSize = 8;
const std::uint16_t certificateRevision = 0x0200;
const std::uint16_t pkcsSignedDataCertificate = 0x0002;
const char indirectDataOid[] = "1.3.6.1.4.1.311.2.1.4";
const char peImageDataOid[] = "1.3.6.1.4.1.311.2.1.15";

struct Unreadable {
    tstring reason;
};

[[noreturn]] void unreadable(const tstring& reason) { throw Unreadable{reason}; }

// Where the table lies: its directory entry holds a file offset, not an
// address in memory as the others do.
struct CertificateTable {
    std::size_t entryOffset;
    std::size_t offset;
    std::size_t size;
};

CertificateTable findCertificateTable(const PeHeaders& headers, std::size_t fileSize) {
    const PeDataDirectory directory = headers.directory(pe_directory::certificates);
    const CertificateTable table{headers.dataDirectoryOffset + pe_directory::certificates * pe_format::dataDirectorySize,
                                 directory.rva, directory.size};
    if (table.offset > fileSize || table.size > fileSize - table.offset) {
        unreadable(L"the certificate table lies outside the file");
    }
    if (table.offset < table.entryOffset + pe_format::dataDirectorySize) {
        unreadable(L"the certificate table overlaps the headers");
    }
    return table;
}

// The PKCS#7 message of the table's first certificate, without the zero
// bytes that pad it to eight bytes.
std::string_view signedMessage(std::string_view file, const CertificateTable& table) {
    const std::string_view entry = file.substr(table.offset, table.size);
    const ByteReader fields(entry, "the certificate table is too short for a certificate");
    const std::uint32_t length = fields.u32(0);
    const std::uint16_t revision = fields.u16(4);
    const std::uint16_t type = fields.u16(6);
    if (length < certificateHeaderSize || length > entry.size()) {
        unreadable(L"the certificate's length does not fit the certificate table");
    }
    if (revision != certificateRevision) {
        unreadable(tstrings::format(L"the certificate has revision 0x%04X, not 0x0200", revision));
    }
    if (type != pkcsSignedDataCertificate) {
        unreadable(tstrings::format(L"the certificate is of type 0x%04X, not PKCS#7 signed data (0x0002)", type));
    }
    try {
        return firstDerElement(entry.substr(certificateHeaderSize, length - certificateHeaderSize)).whole;
    } catch (const DerError&) {
        unreadable(L"it is not PKCS#7 signed data");
    }
}

// Control characters would break the report's line.
tstring oneLine(tstring text) {
    for (wchar_t& c : text) {
        if (c < L' ' || c == 0x7F) {
            c = L'?';
        }
    }
    return text;
}

SignedData readAuthenticode(std::string_view message) {
    std::optional<SignedData> data = readSignedData(message);
    if (!data) {
        unreadable(L"it is not PKCS#7 signed data");
    }
    if (data->signerCount == 0) {
        unreadable(L"it names no signer");
    }
    if (data->signerCount > 1) {
        unreadable(L"it names more than one signer");
    }
    if (!data->signerCertificateFound) {
        unreadable(L"it does not hold the signer's certificate");
    }
    if (data->contentType != indirectDataOid) {
        unreadable(L"what it signs is not an Authenticode image digest");
    }
    data->signer = oneLine(data->signer);
    return *data;
}

struct ImageDigest {
    std::string algorithmOid;
    std::string_view digest;
};

// SpcIndirectDataContent ::= SEQUENCE {
//     data SEQUENCE { type OBJECT IDENTIFIER, value ANY OPTIONAL },
//     messageDigest DigestInfo }
// DigestInfo ::= SEQUENCE {
//     digestAlgorithm SEQUENCE { algorithm OBJECT IDENTIFIER, parameters ANY OPTIONAL },
//     digest OCTET STRING }
ImageDigest readIndirectData(std::string_view content) {
    try {
        DerReader fields(firstDerElement(content).value);
        DerReader data(fields.next(der_tag::sequence).value);
        const std::string dataType = dottedOid(data.next(der_tag::objectIdentifier).value);
        DerReader digestInfo(fields.next(der_tag::sequence).value);
        DerReader algorithm(digestInfo.next(der_tag::sequence).value);
        ImageDigest stored;
        stored.algorithmOid = dottedOid(algorithm.next(der_tag::objectIdentifier).value);
        stored.digest = digestInfo.next(der_tag::octetString).value;
        if (dataType != peImageDataOid) {
            unreadable(L"what it signs is not the digest of a program");
        }
        return stored;
    } catch (const DerError&) {
        unreadable(L"its image digest is garbled");
    }
}

// The whole file but the checksum, the certificate table's directory entry
// and the table itself.
std::vector<std::string_view> digestedPieces(std::string_view file, const PeHeaders& headers,
                                             const CertificateTable& table) {
    const std::size_t afterChecksum = headers.checksumOffset + pe_format::checksumSize;
    const std::size_t afterEntry = table.entryOffset + pe_format::dataDirectorySize;
    return {file.substr(0, headers.checksumOffset), file.substr(afterChecksum, table.entryOffset - afterChecksum),
            file.substr(afterEntry, table.offset - afterEntry), file.substr(table.offset + table.size)};
}

SignatureState readState(const std::string& file) {
    const PeHeaders headers = PeHeaders::read(file);
    if (headers.directory(pe_directory::certificates).size == 0) {
        return {};
    }
    const CertificateTable table = findCertificateTable(headers, file.size());
    const SignedData message = readAuthenticode(signedMessage(file, table));
    const ImageDigest stored = readIndirectData(message.content);
    const std::optional<DigestAlgorithm> algorithm = digestAlgorithmWithOid(stored.algorithmOid);
    if (!algorithm) {
        unreadable(L"its image digest is made with the unknown algorithm " + tstrings::fromUtf8(stored.algorithmOid));
    }
    const std::string digest = digestOf(*algorithm, digestedPieces(file, headers, table));
    const bool unchanged = message.signatureVerifies && !digest.empty() && digest == stored.digest;
    return {unchanged ? SignatureKind::intact : SignatureKind::changed, message.signer, tstring()};
}

}  // namespace

SignatureState signatureStateOf(const std::string& file) {
    try {
        return readState(file);
    } catch (const Unreadable& error) {
        return {SignatureKind::unreadable, tstring(), error.reason};
    } catch (const PeImageError& error) {
        return {SignatureKind::unreadable, tstring(), tstrings::fromUtf8(error.what())};
    }
}

SignatureState readSignatureState(const tstring& path) {
    return signatureStateOf(readProgramFile(path, path));
}

}  // namespace imagetool
