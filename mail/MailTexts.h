#pragma once
// The texts every platform's mail hand-over shows. Kept free of Qt so that the Simple MAPI
// hand-over, built with a Windows cross compiler alone, shares them with the platform layer.

namespace velorix::mail {

inline constexpr const char* kMailErrorText = "Erreur d'envoi du mail";
inline constexpr const char* kMailErrorTitle = "Erreur";

} // namespace velorix::mail
