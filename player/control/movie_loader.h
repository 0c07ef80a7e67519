#pragma once
// Fetching what a movie asks to load (loadMovie, loadVariables): through the container's bind
// host where it offers one, so that a projector resolves names against its own folder; else
// against the folder of the movie the control is playing. Only files are fetched.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace brim {

// `site` may be null. `movieFolder` ends with a backslash, or is empty when unknown.
HRESULT FetchForMovie(IUnknown* site, const std::wstring& movieFolder, const std::wstring& name,
                      std::vector<uint8_t>& bytes);

// Tells the container the name of the movie the control plays: outside a projector it bases
// the names the movie loads later on the first name it is told.
void IntroduceToBindHost(IUnknown* site, const std::wstring& movieName);

// Reads a whole file, refusing one larger than a movie may be.
HRESULT ReadMovieFile(const std::wstring& path, std::vector<uint8_t>& bytes);

}  // namespace brim
