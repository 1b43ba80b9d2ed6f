#include "zip/ZipComponent.h"

#include "zip/ZipMessages.h"

namespace tabula {

// Volume sets are not joined yet: any other volume counts as missing, which
// ends the listing with "Input file does not exist" instead of reading the
// wrong file.
void TZipComponent::OpenVolume(int volume) {
    input_.Close();
    currentVolume_ = volume;
    throw EZipComponent(ZipMsg::InputMissing, true);
}

} // namespace tabula
