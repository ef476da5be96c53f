#pragma once
// The edition this program is built as: exactly one ZB_EDITION_* is defined by
// the build. Everything that differs between editions asks these constants.

enum class Edition { PocketPC, PocketPCWM5, HandheldPC, Smartphone };

#if defined(ZB_EDITION_PPC)
constexpr Edition kEdition = Edition::PocketPC;
#elif defined(ZB_EDITION_WM5)
constexpr Edition kEdition = Edition::PocketPCWM5;
#elif defined(ZB_EDITION_HPC)
constexpr Edition kEdition = Edition::HandheldPC;
#elif defined(ZB_EDITION_SPHONE)
constexpr Edition kEdition = Edition::Smartphone;
#else
#error "the build must choose an edition (ZB_EDITION_PPC, _WM5, _HPC or _SPHONE)"
#endif

// Libraries bound at start-up, in this order: connection manager, Internet, shell.
constexpr bool kBindsConnectionManager = kEdition == Edition::PocketPC || kEdition == Edition::Smartphone;
constexpr bool kBindsShell = kEdition != Edition::HandheldPC;
