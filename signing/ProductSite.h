#pragma once
// The product's web site. Its host is printed on the signature card's branding line and is the
// root of the application's links (the web site, the online help, the forms page, About).

namespace ProductSite {
inline constexpr char host[] = "tindra.calverin.es";
}  // namespace ProductSite
