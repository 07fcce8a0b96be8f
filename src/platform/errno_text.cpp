#include "platform/errno_text.hpp"

#include <cerrno>

namespace velunda {

std::string ErrnoText(int err) {
  switch (err) {
    case ENOENT:
      return "fichier ou dossier introuvable";
    case EACCES:
    case EPERM:
      return "accès refusé";
    case EISDIR:
      return "c'est un dossier";
    case ENOSPC:
      return "disque plein";
    case EDQUOT:
      return "quota de disque dépassé";
    case EFBIG:
      return "fichier trop grand (limite de taille des fichiers atteinte)";
    case EROFS:
      return "système de fichiers en lecture seule";
    case EIO:
      return "erreur d'entrée-sortie sur le support";
    case ENAMETOOLONG:
      return "nom trop long";
    case ENOTDIR:
      return "un élément du chemin n'est pas un dossier";
    case ELOOP:
      return "trop de liens symboliques";
    case ENXIO:
      return "personne ne lit à l'autre bout";
    case ETXTBSY:
    case EBUSY:
      return "fichier occupé";
    case EBADF:
      return "descripteur fermé";
    case EPIPE:
      return "le lecteur est parti";
    default:
      return "erreur système n°" + std::to_string(err);
  }
}

}  // namespace velunda
