#pragma once

#include <cstddef>
#include <cstdint>

// The bodies of the fuzz targets. They take any bytes, swallow the errors the
// units raise for bad input and abort on anything else that goes wrong, so
// libFuzzer and the hostile-package tests (which replay the inputs that once
// failed) run the same code.

// LoadFromStream on the bytes as they are, behind the page declaration, and
// once more with swapping; the trees are walked, unescaped and written.
void FuzzXmlReader(const uint8_t* data, size_t size);
// OpenStream on the bytes, then every entry is searched for and extracted.
void FuzzZipArchive(const uint8_t* data, size_t size);
// ConvertFixedPage on the bytes as a page part, into a temporary folder.
void FuzzPageTranslation(const uint8_t* data, size_t size);
// A whole conversion run on the bytes as a package file; nothing but the
// package and its templates may be in its folder afterwards.
void FuzzConversionRun(const uint8_t* data, size_t size);
