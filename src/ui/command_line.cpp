#include "ui/command_line.hpp"

namespace velunda {

bool ParseWindowOptions(const std::vector<std::string>& args, WindowOptions& options,
                        std::string& error) {
  options = WindowOptions{};
  bool cardGiven = false;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (arg == "--aide") {
      options.help = true;
    } else if (arg == "--carte" || arg.rfind("--carte=", 0) == 0) {
      if (cardGiven) {
        error = "velunda : --carte donnée deux fois";
        return false;
      }
      cardGiven = true;
      if (arg == "--carte") {
        if (k + 1 >= args.size()) {
          error = "velunda : --carte demande un nom de carte son";
          return false;
        }
        options.card = args[++k];
      } else {
        options.card = arg.substr(8);
      }
      if (options.card.empty()) {
        error = "velunda : --carte demande un nom de carte son";
        return false;
      }
    } else {
      error = "velunda : option inconnue « " + arg + " » (velunda --aide donne les options)";
      return false;
    }
  }
  return true;
}

std::string WindowUsageText() {
  return "Utilisation : velunda [--carte NOM] [--aide]\n"
         "\n"
         "  --carte NOM   la carte son : un périphérique ALSA (par défaut « default », qui passe\n"
         "                par PipeWire ou PulseAudio quand ils tournent), ou\n"
         "                virtuelle:ENTREE.wav[:SORTIE.wav], la carte son virtuelle : son entrée\n"
         "                joue ENTREE.wav en boucle, son haut-parleur est enregistré dans\n"
         "                SORTIE.wav, et sa table de mixage est simulée.\n"
         "  --aide        affiche ce texte.\n"
         "\n"
         "Les réglages (entrée, niveau d'entrée, table de mixage) sont gardés dans CONFVEL.SER,\n"
         "dans le répertoire courant.\n";
}

}  // namespace velunda
