#pragma once

// Boost.Serialization marks its singletons and its wide code converter
// __declspec(dllexport) even when linked statically (so that no linker drops
// them); in our DLLs that would add them to the export table.
// Included before any other Boost.Serialization header (and forced into the
// library's own sources, cmake/BoostCross.cmake), this keeps them internal.
#include <boost/config.hpp>
#include <boost/serialization/force_include.hpp>

#undef BOOST_SYMBOL_EXPORT
#define BOOST_SYMBOL_EXPORT

#undef BOOST_DLLEXPORT
#define BOOST_DLLEXPORT
