// The binding on Linux, where there is no system imaging library. Until the project's own
// library is linked in, nothing is bound.
#include "platform/wimgapi.h"

namespace wimgapi {

void LoadWIMGAPI() {}
void UnloadWIMGAPI() { WIMGAPILoaded = false; }
Dword LastError() { return 0; }

}  // namespace wimgapi
