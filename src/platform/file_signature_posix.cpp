// Windows' catalogs can be asked only by a running Windows.
#include "platform/file_signature.h"

namespace marivane::platform {

TFileSignature CatalogSignatureOf(const std::string&) {
  return TFileSignature{TSignatureVerdict::CannotTell, "only a running Windows can say"};
}

}  // namespace marivane::platform
