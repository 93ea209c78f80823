#pragma once
// The sections of the home window, in their order: sign, profile ("Mis datos"), settings
// ("Opciones"), document (a recently signed document).

enum class HomeSection { sign, profile, settings, document };
