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
    case ESPIPE:
      return "impossible de revenir en arrière dans un tube ou un périphérique";
    case ENODEV:
      return "périphérique absent";
    case EAGAIN:
      return "ressource momentanément indisponible";
    case EINTR:
      return "interrompu par un signal";
    case EINVAL:
      return "argument invalide";
    case ENOMEM:
      return "mémoire insuffisante";
    case EMFILE:
    case ENFILE:
      return "trop de fichiers ouverts";
    case EEXIST:
      return "le fichier existe déjà";
    case EXDEV:
      return "les deux noms sont sur des systèmes de fichiers différents";
    case ENOTEMPTY:
      return "dossier non vide";
    case EMLINK:
      return "trop de liens";
    case EOVERFLOW:
      return "valeur trop grande pour son type";
    case EOPNOTSUPP:
      return "opération non prise en charge";
    case ESTALE:
      return "fichier réseau devenu invalide";
    case ETIMEDOUT:
      return "délai dépassé";
    case ECONNRESET:
    case ECONNABORTED:
      return "connexion interrompue";
    case ENOTCONN:
    case ESHUTDOWN:
      return "connexion fermée";
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
      return "réseau inaccessible";
    case ENOLCK:
      return "plus de verrou disponible";
    case ENOTSOCK:
      return "ce n'est pas un socket";
    case ENOTTY:
      return "opération impossible sur ce périphérique";
    case EFAULT:
      return "adresse invalide";
    default:
      return "erreur système n°" + std::to_string(err);
  }
}

}  // namespace velunda
