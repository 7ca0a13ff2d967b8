#pragma once

namespace bootvane {

// Bootvane decodes, converts and scales pictures of a few hundred kilobytes to a few
// megabytes at every click. The C library gives memory of that size back to the system as
// soon as it is freed and then faults it in again page by page, which on a virtual machine
// costs more than decoding a screen. Called once at start, this keeps up to 16 MiB at hand;
// pictures of more than 4 MiB (photos) still come from the system and go back at once.
void keepPictureMemoryAtHand();

// Lets a picture take up to 256 MiB decoded, twice Qt's own limit: a 48-megapixel PNG fits
// (a JPEG that large is decoded at a reduced scale anyway). Called once at start.
void allowLargePictures();

} // namespace bootvane
