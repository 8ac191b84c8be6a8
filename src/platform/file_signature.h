// Whether Windows says a file is its own: a Microsoft signature in one of the system's catalog
// files. Windows' files carry no signature of their own; the catalog holds their hashes. A
// signature says who made the file, not which version it is.
#pragma once

#include <string>

namespace marivane::platform {

enum class TSignatureVerdict {
  Microsoft,     // in a catalog whose signature verifies and whose signer is Microsoft
  NotMicrosoft,  // in no catalog, or signed by someone else, or the signature does not verify
  CannotTell,    // the system could not say (its catalog service stopped, no catalogs at all
                 // as under Wine, the functions missing, not Windows)
};

struct TFileSignature {
  TSignatureVerdict verdict = TSignatureVerdict::CannotTell;
  // For the record: the signer's name for Microsoft ("Microsoft Windows"); otherwise what
  // was found or which step failed, with its code.
  std::string detail;
};

// The catalog signature of the file at `path`: its SHA-1 catalog hash (Vista's catalogs know
// no other), the catalogs that list it, and WinVerifyTrust on the first without a revocation
// check (a machine that cannot reach the network must still get an answer).
TFileSignature CatalogSignatureOf(const std::string& path);

}  // namespace marivane::platform
