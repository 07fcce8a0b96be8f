#include "ui/command_line.hpp"

namespace velunda {

bool ParseWindowOptions(const std::vector<std::string>& args, WindowOptions& options,
                        std::string& error) {
  options = WindowOptions{};
  bool cardGiven = false;
  bool latencyGiven = false;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (arg == "--aide") {
      options.help = true;
    } else if (arg == "--latence" || arg.rfind("--latence=", 0) == 0) {
      if (latencyGiven) {
        error = "velunda : --latence donnée deux fois";
        return false;
      }
      latencyGiven = true;
      std::string value;
      if (arg == "--latence") {
        if (k + 1 >= args.size()) {
          error = "velunda : --latence demande normale ou courte";
          return false;
        }
        value = args[++k];
      } else {
        value = arg.substr(10);
      }
      if (value != "normale" && value != "courte") {
        error = "velunda : valeur incorrecte pour --latence : « " + value +
                " » (normale ou courte)";
        return false;
      }
      options.shortLatency = value == "courte";
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
  return "Utilisation : velunda [--carte NOM] [--latence normale|courte] [--aide]\n"
         "\n"
         "  --carte NOM   la carte son : un périphérique ALSA (par défaut « default », qui passe\n"
         "                par PipeWire ou PulseAudio quand ils tournent), ou\n"
         "                virtuelle:ENTREE.wav[:SORTIE.wav], la carte son virtuelle : son entrée\n"
         "                joue ENTREE.wav en boucle, son haut-parleur est enregistré dans\n"
         "                SORTIE.wav, et sa table de mixage est simulée.\n"
         "  --latence L   normale (par défaut) : le passe-bas, le passe-bande et les réducteurs\n"
         "                de bruit travaillent par blocs d'un tiers de seconde ; courte : par\n"
         "                blocs de 96 ms, le son est entendu environ 0,5 s plus tôt. Le BFO et\n"
         "                le réjecteur gardent leurs blocs de 2048 échantillons.\n"
         "  --aide        affiche ce texte.\n"
         "\n"
         "Les réglages (entrée, niveau d'entrée, table de mixage) sont gardés dans CONFVEL.SER,\n"
         "dans le répertoire courant.\n";
}

}  // namespace velunda
