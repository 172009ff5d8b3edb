#include "update/kxReliftMessages.h"

#include <array>
#include <atomic>
#include <charconv>
#include <cstddef>
#include <iterator>
#include <system_error>
#include <utility>

namespace pw::update {

namespace {

struct LanguageBlock {
    TkxReliftLanguage language;
    // The Windows primary language (low 10 bits of a language identifier) that selects the block.
    // Portuguese and Chinese share theirs between two blocks; LanguageOf tells them apart.
    std::uint16_t primary;
    std::array<std::string_view, kMessageCount> texts;
};

// The whole message table, one block per language in the order of TkxReliftLanguage. Message k
// of a block is identifier MessageBaseOf(language) + k. A translation keeps the placeholders in
// their order, the "&" of the buttons (14 to 19) on a letter of its own word, and the line feeds:
// the windows and message boxes size themselves to the text, so a line feed is layout.
constexpr LanguageBlock kMessages[] = {
    {wlEnglish,
     0x09,
     {
         "Application update wizard",  // 0: caption of the windows and message boxes
         "Downloading files...",       // 1: progress title while downloading
         "Upgrade completed!",         // 2: progress title when done
         "Current file",               // 3: group caption (the window adds the blanks)
         "All files",                  // 4: group caption
         "Downloading file from",      // 5: above the URL
         "File size: %.1f Kb",
         "Transfer rate: %.1f Kb/s",
         "Estimated time left: %d:%.2d:%.2d",  // 8: hours, minutes, seconds
         "Downloading %d of %d",               // 9: file number from 1, file count
         "The update of %s has been successfully completed.\n\nPress the OK button to restart "
         "program.",  // 10: the application title; names the button of message 16
         "Enter password",
         "User Name",
         "Password",
         "&Yes",     // 14: question window, beside 19
         "&No",      // 15: shown nowhere
         "&OK",      // 16: password window beside 17; Finish when done
         "&Cancel",  // 17: progress and password windows
         "&Next >",  // 18: Finish while downloading, beside 17
         "&Later",   // 19
         "Warning",  // 20: shown nowhere
         "Error",
         "Preparing. . .",  // 22: time label before the first progress report
         "A newer version of %s was released.\n%s\nDo you want to update your version with the "
         "latest one?",  // 23: title; the announcement, which may be empty
         "Newer version not found. You actually are\nusing most recent version of this program.",
         "File which contains upgrade information was not found on developer's site.",
         "Host %s unreachable.\n\nPlease check your Internet connection and\ntry to upgrade this "
         "software again later.",  // 26: "http://" and the host
         "The update is not completed.\nWould you like to abort upgrading?",
         "File %s not found or inaccessible.\n\nTry to skip this file and continue upgrade?",
         "Access to remote file \"%s\" is password protected.\n\nPlease enter your username and "
         "password (received after registration) to continue software upgrade.",
         "Connection with remote server lost.\n\nPlease restore connection and try to\nupgrade "
         "this software again later.",
     }},
    {wlRussian,
     0x19,
     {
         "Мастер обновления приложения",
         "Загрузка файлов...",
         "Обновление завершено!",
         "Текущий файл",
         "Все файлы",
         "Загрузка файла с адреса",
         "Размер файла: %.1f КБ",
         "Скорость передачи: %.1f КБ/с",
         "Оставшееся время: %d:%.2d:%.2d",
         "Загрузка %d из %d",
         "Обновление %s успешно завершено.\n\nНажмите кнопку ОК, чтобы перезапустить программу.",
         "Введите пароль",
         "Логин",
         "Пароль",
         "&Да",
         "&Нет",
         "&ОК",
         "О&тмена",
         "&Далее >",
         "&Позже",
         "Предупреждение",
         "Ошибка",
         "Подготовка. . .",
         "Вышла новая версия %s.\n%s\nОбновить вашу версию до последней?",
         "Более новая версия не найдена. Вы уже\nиспользуете последнюю версию этой программы.",
         "Файл с информацией об обновлении не найден на сайте разработчика.",
         "Сервер %s недоступен.\n\nПроверьте подключение к Интернету и\nповторите попытку "
         "обновления позже.",
         "Обновление не завершено.\nПрервать обновление?",
         "Файл %s не найден или недоступен.\n\nПропустить этот файл и продолжить обновление?",
         "Доступ к удалённому файлу «%s» защищён паролем.\n\nВведите имя пользователя и пароль "
         "(полученные при регистрации), чтобы продолжить обновление программы.",
         "Соединение с удалённым сервером потеряно.\n\nВосстановите соединение и попробуйте\n"
         "обновить программу позже.",
     }},
    {wlGerman,
     0x07,
     {
         "Assistent zur Programmaktualisierung",
         "Dateien werden heruntergeladen...",
         "Aktualisierung abgeschlossen!",
         "Aktuelle Datei",
         "Alle Dateien",
         "Datei wird heruntergeladen von",
         "Dateigröße: %.1f KB",
         "Übertragungsrate: %.1f KB/s",
         "Geschätzte Restzeit: %d:%.2d:%.2d",
         "Datei %d von %d wird heruntergeladen",
         "Die Aktualisierung von %s wurde erfolgreich abgeschlossen.\n\nKlicken Sie auf OK, um "
         "das Programm neu zu starten.",
         "Kennwort eingeben",
         "Benutzername",
         "Kennwort",
         "&Ja",
         "&Nein",
         "&OK",
         "&Abbrechen",
         "&Weiter >",
         "&Später",
         "Warnung",
         "Fehler",
         "Vorbereitung. . .",
         "Eine neue Version von %s ist erschienen.\n%s\nMöchten Sie Ihre Version auf die neueste "
         "aktualisieren?",
         "Keine neuere Version gefunden. Sie verwenden\nbereits die neueste Version dieses "
         "Programms.",
         "Die Datei mit den Aktualisierungsinformationen wurde auf der Website des Herstellers "
         "nicht gefunden.",
         "Host %s ist nicht erreichbar.\n\nBitte prüfen Sie Ihre Internetverbindung und\n"
         "versuchen Sie die Aktualisierung später erneut.",
         "Die Aktualisierung ist nicht abgeschlossen.\nMöchten Sie die Aktualisierung abbrechen?",
         "Die Datei %s wurde nicht gefunden oder ist nicht zugänglich.\n\nDiese Datei "
         "überspringen und die Aktualisierung fortsetzen?",
         "Der Zugriff auf die entfernte Datei „%s“ ist kennwortgeschützt.\n\nBitte geben Sie "
         "Benutzername und Kennwort (nach der Registrierung erhalten) ein, um die Aktualisierung "
         "fortzusetzen.",
         "Die Verbindung zum Server wurde unterbrochen.\n\nBitte stellen Sie die Verbindung "
         "wieder her und\nversuchen Sie die Aktualisierung später erneut.",
     }},
    {wlFrench,
     0x0C,
     {
         "Assistant de mise à jour de l'application",
         "Téléchargement des fichiers...",
         "Mise à jour terminée !",
         "Fichier en cours",
         "Tous les fichiers",
         "Téléchargement du fichier depuis",
         "Taille du fichier : %.1f Ko",
         "Débit : %.1f Ko/s",
         "Temps restant estimé : %d:%.2d:%.2d",
         "Téléchargement %d sur %d",
         "La mise à jour de %s s'est terminée avec succès.\n\nCliquez sur le bouton OK pour "
         "redémarrer le programme.",
         "Saisie du mot de passe",
         "Utilisateur",
         "Mot de passe",
         "&Oui",
         "&Non",
         "&OK",
         "&Annuler",
         "&Suivant >",
         "&Plus tard",
         "Avertissement",
         "Erreur",
         "Préparation. . .",
         "Une nouvelle version de %s est disponible.\n%s\nVoulez-vous remplacer votre version "
         "par la plus récente ?",
         "Aucune version plus récente n'a été trouvée. Vous utilisez\ndéjà la version la plus "
         "récente de ce programme.",
         "Le fichier contenant les informations de mise à jour est introuvable sur le site du "
         "développeur.",
         "L'hôte %s est injoignable.\n\nVérifiez votre connexion Internet et\nréessayez la mise à "
         "jour plus tard.",
         "La mise à jour n'est pas terminée.\nVoulez-vous abandonner la mise à jour ?",
         "Le fichier %s est introuvable ou inaccessible.\n\nIgnorer ce fichier et poursuivre la "
         "mise à jour ?",
         "L'accès au fichier distant « %s » est protégé par un mot de passe.\n\nVeuillez saisir "
         "votre nom d'utilisateur et votre mot de passe (reçus lors de l'enregistrement) pour "
         "poursuivre la mise à jour.",
         "La connexion avec le serveur distant a été perdue.\n\nRétablissez la connexion et "
         "réessayez\nla mise à jour plus tard.",
     }},
    {wlSpanish,
     0x0A,
     {
         "Asistente de actualización de la aplicación",
         "Descargando archivos...",
         "¡Actualización completada!",
         "Archivo actual",
         "Todos los archivos",
         "Descargando archivo desde",
         "Tamaño del archivo: %.1f KB",
         "Velocidad de transferencia: %.1f KB/s",
         "Tiempo restante estimado: %d:%.2d:%.2d",
         "Descargando %d de %d",
         "La actualización de %s se ha completado correctamente.\n\nPulse el botón Aceptar para "
         "reiniciar el programa.",
         "Introducir contraseña",
         "Usuario",
         "Contraseña",
         "&Sí",
         "&No",
         "&Aceptar",
         "&Cancelar",
         "&Siguiente >",
         "&Más tarde",
         "Advertencia",
         "Error",
         "Preparando. . .",
         "Se ha publicado una nueva versión de %s.\n%s\n¿Desea actualizar su versión a la más "
         "reciente?",
         "No se encontró una versión más reciente. Ya está\nusando la versión más reciente de "
         "este programa.",
         "No se encontró en el sitio del desarrollador el archivo con la información de "
         "actualización.",
         "No se puede acceder al host %s.\n\nCompruebe su conexión a Internet e\nintente "
         "actualizar este programa más tarde.",
         "La actualización no ha terminado.\n¿Desea cancelar la actualización?",
         "El archivo %s no se encontró o no es accesible.\n\n¿Omitir este archivo y continuar "
         "la actualización?",
         "El acceso al archivo remoto «%s» está protegido con contraseña.\n\nIntroduzca su "
         "nombre de usuario y contraseña (recibidos al registrarse) para continuar la "
         "actualización.",
         "Se perdió la conexión con el servidor remoto.\n\nRestablezca la conexión e intente\n"
         "actualizar este programa más tarde.",
     }},
    {wlPortuguese,
     0x16,
     {
         "Assistente de atualização da aplicação",
         "A transferir ficheiros...",
         "Atualização concluída!",
         "Ficheiro atual",
         "Todos os ficheiros",
         "A transferir ficheiro de",
         "Tamanho do ficheiro: %.1f KB",
         "Taxa de transferência: %.1f KB/s",
         "Tempo restante estimado: %d:%.2d:%.2d",
         "A transferir %d de %d",
         "A atualização de %s foi concluída com êxito.\n\nPrima o botão OK para reiniciar o "
         "programa.",
         "Introduzir palavra-passe",
         "Utilizador",
         "Palavra-passe",
         "&Sim",
         "&Não",
         "&OK",
         "&Cancelar",
         "&Seguinte >",
         "&Mais tarde",
         "Aviso",
         "Erro",
         "A preparar. . .",
         "Foi lançada uma nova versão de %s.\n%s\nPretende atualizar a sua versão para a mais "
         "recente?",
         "Não foi encontrada uma versão mais recente. Já está\na utilizar a versão mais recente "
         "deste programa.",
         "O ficheiro com as informações de atualização não foi encontrado no site do "
         "programador.",
         "O anfitrião %s está inacessível.\n\nVerifique a sua ligação à Internet e\ntente "
         "atualizar este programa mais tarde.",
         "A atualização não está concluída.\nPretende cancelar a atualização?",
         "O ficheiro %s não foi encontrado ou está inacessível.\n\nIgnorar este ficheiro e "
         "continuar a atualização?",
         "O acesso ao ficheiro remoto \"%s\" está protegido por palavra-passe.\n\nIntroduza o seu "
         "nome de utilizador e palavra-passe (recebidos após o registo) para continuar a "
         "atualização.",
         "Perdeu-se a ligação ao servidor remoto.\n\nRestabeleça a ligação e tente\natualizar "
         "este programa mais tarde.",
     }},
    {wlPortugueseBrazilian,
     0x16,
     {
         "Assistente de atualização do aplicativo",
         "Baixando arquivos...",
         "Atualização concluída!",
         "Arquivo atual",
         "Todos os arquivos",
         "Baixando arquivo de",
         "Tamanho do arquivo: %.1f KB",
         "Taxa de transferência: %.1f KB/s",
         "Tempo restante estimado: %d:%.2d:%.2d",
         "Baixando %d de %d",
         "A atualização de %s foi concluída com sucesso.\n\nClique no botão OK para reiniciar o "
         "programa.",
         "Digite a senha",
         "Usuário",
         "Senha",
         "&Sim",
         "&Não",
         "&OK",
         "&Cancelar",
         "&Avançar >",
         "&Mais tarde",
         "Aviso",
         "Erro",
         "Preparando. . .",
         "Uma nova versão de %s foi lançada.\n%s\nDeseja atualizar sua versão para a mais "
         "recente?",
         "Nenhuma versão mais recente foi encontrada. Você já está\nusando a versão mais recente "
         "deste programa.",
         "O arquivo com as informações de atualização não foi encontrado no site do "
         "desenvolvedor.",
         "O host %s está inacessível.\n\nVerifique sua conexão com a Internet e\ntente atualizar "
         "este programa mais tarde.",
         "A atualização não foi concluída.\nDeseja cancelar a atualização?",
         "O arquivo %s não foi encontrado ou está inacessível.\n\nIgnorar este arquivo e "
         "continuar a atualização?",
         "O acesso ao arquivo remoto \"%s\" é protegido por senha.\n\nDigite seu nome de usuário "
         "e senha (recebidos após o registro) para continuar a atualização.",
         "A conexão com o servidor remoto foi perdida.\n\nRestabeleça a conexão e tente\n"
         "atualizar este programa mais tarde.",
     }},
    {wlItalian,
     0x10,
     {
         "Aggiornamento guidato dell'applicazione",
         "Download dei file in corso...",
         "Aggiornamento completato!",
         "File corrente",
         "Tutti i file",
         "Download del file da",
         "Dimensione file: %.1f KB",
         "Velocità di trasferimento: %.1f KB/s",
         "Tempo residuo stimato: %d:%.2d:%.2d",
         "Download %d di %d",
         "L'aggiornamento di %s è stato completato correttamente.\n\nFare clic sul pulsante OK "
         "per riavviare il programma.",
         "Inserire la password",
         "Nome utente",
         "Password",
         "&Sì",
         "&No",
         "&OK",
         "&Annulla",
         "A&vanti >",
         "&Più tardi",
         "Avviso",
         "Errore",
         "Preparazione. . .",
         "È stata rilasciata una nuova versione di %s.\n%s\nAggiornare la versione in uso alla "
         "più recente?",
         "Nessuna versione più recente trovata. È già in uso\nla versione più recente di questo "
         "programma.",
         "Il file con le informazioni di aggiornamento non è stato trovato sul sito dello "
         "sviluppatore.",
         "Host %s non raggiungibile.\n\nVerificare la connessione a Internet e\nriprovare "
         "l'aggiornamento più tardi.",
         "L'aggiornamento non è stato completato.\nInterrompere l'aggiornamento?",
         "File %s non trovato o non accessibile.\n\nSaltare questo file e continuare "
         "l'aggiornamento?",
         "L'accesso al file remoto \"%s\" è protetto da password.\n\nInserire nome utente e "
         "password (ricevuti dopo la registrazione) per continuare l'aggiornamento.",
         "Connessione con il server remoto persa.\n\nRipristinare la connessione e riprovare\n"
         "l'aggiornamento più tardi.",
     }},
    {wlDutch,
     0x13,
     {
         "Wizard voor het bijwerken van de toepassing",
         "Bestanden downloaden...",
         "Bijwerken voltooid!",
         "Huidig bestand",
         "Alle bestanden",
         "Bestand downloaden van",
         "Bestandsgrootte: %.1f KB",
         "Overdrachtssnelheid: %.1f KB/s",
         "Geschatte resterende tijd: %d:%.2d:%.2d",
         "Bestand %d van %d downloaden",
         "Het bijwerken van %s is voltooid.\n\nKlik op de knop OK om het programma opnieuw te "
         "starten.",
         "Wachtwoord invoeren",
         "Gebruiker",
         "Wachtwoord",
         "&Ja",
         "&Nee",
         "&OK",
         "&Annuleren",
         "&Volgende >",
         "&Later",
         "Waarschuwing",
         "Fout",
         "Voorbereiden. . .",
         "Er is een nieuwe versie van %s uitgebracht.\n%s\nWilt u uw versie bijwerken naar de "
         "nieuwste?",
         "Geen nieuwere versie gevonden. U gebruikt al\nde nieuwste versie van dit programma.",
         "Het bestand met de update-informatie is niet gevonden op de website van de "
         "ontwikkelaar.",
         "Host %s is onbereikbaar.\n\nControleer uw internetverbinding en\nprobeer het bijwerken "
         "later opnieuw.",
         "Het bijwerken is niet voltooid.\nWilt u het bijwerken afbreken?",
         "Bestand %s is niet gevonden of niet toegankelijk.\n\nDit bestand overslaan en doorgaan "
         "met bijwerken?",
         "De toegang tot het externe bestand \"%s\" is met een wachtwoord beveiligd.\n\nVoer uw "
         "gebruikersnaam en wachtwoord in (ontvangen na registratie) om het bijwerken voort te "
         "zetten.",
         "De verbinding met de externe server is verbroken.\n\nHerstel de verbinding en probeer\n"
         "het bijwerken later opnieuw.",
     }},
    {wlDanish,
     0x06,
     {
         "Guide til opdatering af programmet",
         "Henter filer...",
         "Opdateringen er fuldført!",
         "Aktuel fil",
         "Alle filer",
         "Henter fil fra",
         "Filstørrelse: %.1f KB",
         "Overførselshastighed: %.1f KB/s",
         "Anslået resterende tid: %d:%.2d:%.2d",
         "Henter %d af %d",
         "Opdateringen af %s er fuldført.\n\nKlik på knappen OK for at genstarte programmet.",
         "Angiv adgangskode",
         "Brugernavn",
         "Adgangskode",
         "&Ja",
         "&Nej",
         "&OK",
         "&Annuller",
         "&Næste >",
         "&Senere",
         "Advarsel",
         "Fejl",
         "Forbereder. . .",
         "Der er udgivet en ny version af %s.\n%s\nVil du opdatere din version til den nyeste?",
         "Der blev ikke fundet nogen nyere version. Du bruger\nallerede den nyeste version af "
         "dette program.",
         "Filen med opdateringsoplysningerne blev ikke fundet på udviklerens websted.",
         "Værten %s kan ikke nås.\n\nKontrollér din internetforbindelse, og\nprøv at opdatere "
         "programmet igen senere.",
         "Opdateringen er ikke fuldført.\nVil du afbryde opdateringen?",
         "Filen %s blev ikke fundet eller er ikke tilgængelig.\n\nVil du springe filen over og "
         "fortsætte opdateringen?",
         "Adgang til fjernfilen \"%s\" er beskyttet med adgangskode.\n\nAngiv dit brugernavn og "
         "din adgangskode (modtaget ved registreringen) for at fortsætte opdateringen.",
         "Forbindelsen til fjernserveren blev afbrudt.\n\nGenopret forbindelsen, og prøv at\n"
         "opdatere programmet igen senere.",
     }},
    {wlSwedish,
     0x1D,
     {
         "Guide för programuppdatering",
         "Hämtar filer...",
         "Uppdateringen är klar!",
         "Aktuell fil",
         "Alla filer",
         "Hämtar fil från",
         "Filstorlek: %.1f kB",
         "Överföringshastighet: %.1f kB/s",
         "Beräknad återstående tid: %d:%.2d:%.2d",
         "Hämtar %d av %d",
         "Uppdateringen av %s har slutförts.\n\nKlicka på knappen OK för att starta om "
         "programmet.",
         "Ange lösenord",
         "Användarnamn",
         "Lösenord",
         "&Ja",
         "&Nej",
         "&OK",
         "&Avbryt",
         "&Nästa >",
         "&Senare",
         "Varning",
         "Fel",
         "Förbereder. . .",
         "En nyare version av %s har släppts.\n%s\nVill du uppdatera till den senaste versionen?",
         "Ingen nyare version hittades. Du använder\nredan den senaste versionen av programmet.",
         "Filen med uppdateringsinformation hittades inte på utvecklarens webbplats.",
         "Värden %s kan inte nås.\n\nKontrollera din internetanslutning och\nförsök uppdatera "
         "programmet igen senare.",
         "Uppdateringen är inte klar.\nVill du avbryta uppdateringen?",
         "Filen %s hittades inte eller är inte åtkomlig.\n\nVill du hoppa över filen och "
         "fortsätta uppdateringen?",
         "Åtkomst till fjärrfilen ”%s” är lösenordsskyddad.\n\nAnge ditt användarnamn och "
         "lösenord (som du fick vid registreringen) för att fortsätta uppdateringen.",
         "Anslutningen till fjärrservern bröts.\n\nÅterställ anslutningen och försök\nuppdatera "
         "programmet igen senare.",
     }},
    {wlFinnish,
     0x0B,
     {
         "Sovelluksen päivitysohjattu",
         "Ladataan tiedostoja...",
         "Päivitys valmis!",
         "Nykyinen tiedosto",
         "Kaikki tiedostot",
         "Ladataan tiedostoa osoitteesta",
         "Tiedoston koko: %.1f kt",
         "Siirtonopeus: %.1f kt/s",
         "Arvioitu jäljellä oleva aika: %d:%.2d:%.2d",
         "Ladataan tiedostoa %d/%d",
         "Sovelluksen %s päivitys onnistui.\n\nKäynnistä ohjelma uudelleen valitsemalla OK.",
         "Anna salasana",
         "Käyttäjätunnus",
         "Salasana",
         "&Kyllä",
         "&Ei",
         "&OK",
         "&Peruuta",
         "&Seuraava >",
         "&Myöhemmin",
         "Varoitus",
         "Virhe",
         "Valmistellaan. . .",
         "Sovelluksesta %s on julkaistu uusi versio.\n%s\nHaluatko päivittää uusimpaan versioon?",
         "Uudempaa versiota ei löytynyt. Käytössäsi on\njo ohjelman uusin versio.",
         "Päivitystiedot sisältävää tiedostoa ei löytynyt kehittäjän sivustolta.",
         "Palvelimeen %s ei saada yhteyttä.\n\nTarkista Internet-yhteys ja\nyritä päivitystä "
         "myöhemmin uudelleen.",
         "Päivitys on kesken.\nHaluatko keskeyttää päivityksen?",
         "Tiedostoa %s ei löydy tai siihen ei ole käyttöoikeutta.\n\nOhitetaanko tiedosto ja "
         "jatketaanko päivitystä?",
         "Etätiedosto ”%s” on suojattu salasanalla.\n\nJatka päivitystä antamalla käyttäjätunnus "
         "ja salasana (saatu rekisteröitymisen jälkeen).",
         "Yhteys etäpalvelimeen katkesi.\n\nMuodosta yhteys uudelleen ja yritä\npäivitystä "
         "myöhemmin uudelleen.",
     }},
    {wlEstonian,
     0x25,
     {
         "Rakenduse uuendamise viisard",
         "Failide allalaadimine...",
         "Uuendamine on lõpetatud!",
         "Praegune fail",
         "Kõik failid",
         "Faili allalaadimine aadressilt",
         "Faili suurus: %.1f kB",
         "Edastuskiirus: %.1f kB/s",
         "Hinnanguline järelejäänud aeg: %d:%.2d:%.2d",
         "Allalaadimine: %d/%d",
         "Rakenduse %s uuendamine õnnestus.\n\nProgrammi taaskäivitamiseks klõpsake nuppu OK.",
         "Sisestage parool",
         "Kasutajanimi",
         "Parool",
         "&Jah",
         "&Ei",
         "&OK",
         "&Loobu",
         "&Edasi >",
         "&Hiljem",
         "Hoiatus",
         "Viga",
         "Ettevalmistamine. . .",
         "Rakendusest %s on ilmunud uuem versioon.\n%s\nKas soovite oma versiooni uusimaks "
         "uuendada?",
         "Uuemat versiooni ei leitud. Te juba\nkasutate selle programmi uusimat versiooni.",
         "Uuendusteabega faili ei leitud arendaja veebisaidilt.",
         "Host %s pole kättesaadav.\n\nKontrollige oma Interneti-ühendust ja\nproovige uuendada "
         "hiljem uuesti.",
         "Uuendamine pole lõpetatud.\nKas soovite uuendamise katkestada?",
         "Faili %s ei leitud või see pole kättesaadav.\n\nKas jätta see fail vahele ja uuendamist "
         "jätkata?",
         "Juurdepääs kaugfailile „%s” on parooliga kaitstud.\n\nUuendamise jätkamiseks sisestage "
         "kasutajanimi ja parool (saadud registreerimisel).",
         "Ühendus kaugserveriga katkes.\n\nTaastage ühendus ja proovige\nuuendada hiljem uuesti.",
     }},
    {wlUkrainian,
     0x22,
     {
         "Майстер оновлення програми",
         "Завантаження файлів...",
         "Оновлення завершено!",
         "Поточний файл",
         "Усі файли",
         "Завантаження файлу з адреси",
         "Розмір файлу: %.1f КБ",
         "Швидкість передавання: %.1f КБ/с",
         "Залишилося часу: %d:%.2d:%.2d",
         "Завантаження %d з %d",
         "Оновлення %s успішно завершено.\n\nНатисніть кнопку OK, щоб перезапустити програму.",
         "Введіть пароль",
         "Логін",
         "Пароль",
         "&Так",
         "&Ні",
         "&OK",
         "&Скасувати",
         "&Далі >",
         "&Пізніше",
         "Попередження",
         "Помилка",
         "Підготовка. . .",
         "Вийшла нова версія %s.\n%s\nОновити вашу версію до найновішої?",
         "Новішої версії не знайдено. Ви вже\nвикористовуєте найновішу версію цієї програми.",
         "Файл з інформацією про оновлення не знайдено на сайті розробника.",
         "Сервер %s недоступний.\n\nПеревірте підключення до Інтернету та\nспробуйте оновити "
         "програму пізніше.",
         "Оновлення не завершено.\nПерервати оновлення?",
         "Файл %s не знайдено або він недоступний.\n\nПропустити цей файл і продовжити "
         "оновлення?",
         "Доступ до віддаленого файлу «%s» захищено паролем.\n\nВведіть ім’я користувача та "
         "пароль (отримані після реєстрації), щоб продовжити оновлення програми.",
         "З’єднання з віддаленим сервером втрачено.\n\nВідновіть з’єднання та спробуйте\n"
         "оновити програму пізніше.",
     }},
    {wlPolish,
     0x15,
     {
         "Kreator aktualizacji aplikacji",
         "Pobieranie plików...",
         "Aktualizacja zakończona!",
         "Bieżący plik",
         "Wszystkie pliki",
         "Pobieranie pliku z",
         "Rozmiar pliku: %.1f KB",
         "Szybkość transferu: %.1f KB/s",
         "Szacowany pozostały czas: %d:%.2d:%.2d",
         "Pobieranie %d z %d",
         "Aktualizacja programu %s została pomyślnie zakończona.\n\nNaciśnij przycisk OK, aby "
         "ponownie uruchomić program.",
         "Wprowadź hasło",
         "Użytkownik",
         "Hasło",
         "&Tak",
         "&Nie",
         "&OK",
         "&Anuluj",
         "&Dalej >",
         "&Później",
         "Ostrzeżenie",
         "Błąd",
         "Przygotowywanie. . .",
         "Została wydana nowa wersja programu %s.\n%s\nCzy chcesz zaktualizować swoją wersję do "
         "najnowszej?",
         "Nie znaleziono nowszej wersji. Używasz już\nnajnowszej wersji tego programu.",
         "Nie znaleziono pliku z informacjami o aktualizacji na stronie producenta.",
         "Host %s jest nieosiągalny.\n\nSprawdź połączenie z Internetem i\nspróbuj zaktualizować "
         "program później.",
         "Aktualizacja nie została zakończona.\nCzy chcesz przerwać aktualizację?",
         "Nie znaleziono pliku %s lub jest on niedostępny.\n\nPominąć ten plik i kontynuować "
         "aktualizację?",
         "Dostęp do zdalnego pliku „%s” jest chroniony hasłem.\n\nWprowadź nazwę użytkownika i "
         "hasło (otrzymane po rejestracji), aby kontynuować aktualizację programu.",
         "Utracono połączenie ze zdalnym serwerem.\n\nPrzywróć połączenie i spróbuj\n"
         "zaktualizować program później.",
     }},
    {wlCzech,
     0x05,
     {
         "Průvodce aktualizací aplikace",
         "Stahování souborů...",
         "Aktualizace dokončena!",
         "Aktuální soubor",
         "Všechny soubory",
         "Stahování souboru z",
         "Velikost souboru: %.1f kB",
         "Přenosová rychlost: %.1f kB/s",
         "Odhadovaný zbývající čas: %d:%.2d:%.2d",
         "Stahování %d z %d",
         "Aktualizace aplikace %s byla úspěšně dokončena.\n\nStisknutím tlačítka OK program "
         "restartujete.",
         "Zadejte heslo",
         "Uživatel",
         "Heslo",
         "&Ano",
         "&Ne",
         "&OK",
         "&Storno",
         "&Další >",
         "&Později",
         "Upozornění",
         "Chyba",
         "Příprava. . .",
         "Byla vydána nová verze aplikace %s.\n%s\nChcete aktualizovat svou verzi na nejnovější?",
         "Novější verze nebyla nalezena. Již používáte\nnejnovější verzi tohoto programu.",
         "Soubor s informacemi o aktualizaci nebyl na webu vývojáře nalezen.",
         "Hostitel %s je nedostupný.\n\nZkontrolujte připojení k Internetu a\nzkuste program "
         "aktualizovat později.",
         "Aktualizace není dokončena.\nChcete aktualizaci přerušit?",
         "Soubor %s nebyl nalezen nebo je nepřístupný.\n\nPřeskočit tento soubor a pokračovat "
         "v aktualizaci?",
         "Přístup ke vzdálenému souboru „%s“ je chráněn heslem.\n\nZadejte uživatelské jméno a "
         "heslo (obdržené po registraci), abyste mohli pokračovat v aktualizaci.",
         "Spojení se vzdáleným serverem bylo ztraceno.\n\nObnovte spojení a zkuste\nprogram "
         "aktualizovat později.",
     }},
    {wlHungarian,
     0x0E,
     {
         "Alkalmazásfrissítő varázsló",
         "Fájlok letöltése...",
         "A frissítés befejeződött!",
         "Aktuális fájl",
         "Összes fájl",
         "Fájl letöltése innen:",
         "Fájlméret: %.1f KB",
         "Átviteli sebesség: %.1f KB/s",
         "Becsült hátralévő idő: %d:%.2d:%.2d",
         "Letöltés: %d / %d",
         "A(z) %s frissítése sikeresen befejeződött.\n\nA program újraindításához kattintson az "
         "OK gombra.",
         "Jelszó megadása",
         "Felhasználónév",
         "Jelszó",
         "&Igen",
         "&Nem",
         "&OK",
         "&Mégse",
         "&Tovább >",
         "&Később",
         "Figyelmeztetés",
         "Hiba",
         "Előkészítés. . .",
         "Megjelent a(z) %s újabb verziója.\n%s\nSzeretné frissíteni a legújabb verzióra?",
         "Nem található újabb verzió. Már a program\nlegújabb verzióját használja.",
         "A frissítési információkat tartalmazó fájl nem található a fejlesztő webhelyén.",
         "A(z) %s kiszolgáló nem érhető el.\n\nEllenőrizze az internetkapcsolatot, és\npróbálja "
         "meg később újra a frissítést.",
         "A frissítés nem fejeződött be.\nMegszakítja a frissítést?",
         "A(z) %s fájl nem található vagy nem érhető el.\n\nKihagyja ezt a fájlt, és folytatja a "
         "frissítést?",
         "A(z) „%s” távoli fájl elérése jelszóval védett.\n\nA frissítés folytatásához adja meg "
         "a felhasználónevét és a jelszavát (a regisztráció után kapta meg).",
         "Megszakadt a kapcsolat a távoli kiszolgálóval.\n\nÁllítsa helyre a kapcsolatot, és "
         "próbálja\nmeg később újra a frissítést.",
     }},
    {wlRomanian,
     0x18,
     {
         "Asistent de actualizare a aplicației",
         "Se descarcă fișierele...",
         "Actualizare finalizată!",
         "Fișierul curent",
         "Toate fișierele",
         "Se descarcă fișierul de la",
         "Dimensiune fișier: %.1f KB",
         "Viteză de transfer: %.1f KB/s",
         "Timp rămas estimat: %d:%.2d:%.2d",
         "Se descarcă %d din %d",
         "Actualizarea %s s-a finalizat cu succes.\n\nApăsați butonul OK pentru a reporni "
         "programul.",
         "Introduceți parola",
         "Nume utilizator",
         "Parolă",
         "&Da",
         "&Nu",
         "&OK",
         "&Anulare",
         "&Următorul >",
         "&Mai târziu",
         "Avertisment",
         "Eroare",
         "Se pregătește. . .",
         "A fost lansată o versiune nouă pentru %s.\n%s\nDoriți să actualizați versiunea dvs. la "
         "cea mai recentă?",
         "Nu s-a găsit o versiune mai nouă. Utilizați deja\ncea mai recentă versiune a acestui "
         "program.",
         "Fișierul cu informațiile de actualizare nu a fost găsit pe site-ul dezvoltatorului.",
         "Gazda %s nu poate fi accesată.\n\nVerificați conexiunea la Internet și\nîncercați să "
         "actualizați mai târziu.",
         "Actualizarea nu este finalizată.\nDoriți să abandonați actualizarea?",
         "Fișierul %s nu a fost găsit sau nu este accesibil.\n\nOmiteți acest fișier și "
         "continuați actualizarea?",
         "Accesul la fișierul la distanță „%s” este protejat prin parolă.\n\nIntroduceți numele "
         "de utilizator și parola (primite după înregistrare) pentru a continua actualizarea.",
         "Conexiunea cu serverul la distanță s-a pierdut.\n\nRestabiliți conexiunea și "
         "încercați\nsă actualizați mai târziu.",
     }},
    {wlCatalan,
     0x03,
     {
         "Assistent d'actualització de l'aplicació",
         "S'estan baixant els fitxers...",
         "Actualització completada!",
         "Fitxer actual",
         "Tots els fitxers",
         "S'està baixant el fitxer de",
         "Mida del fitxer: %.1f KB",
         "Velocitat de transferència: %.1f KB/s",
         "Temps restant estimat: %d:%.2d:%.2d",
         "S'està baixant %d de %d",
         "L'actualització de %s s'ha completat correctament.\n\nPremeu el botó D'acord per "
         "reiniciar el programa.",
         "Introduïu la contrasenya",
         "Nom d'usuari",
         "Contrasenya",
         "&Sí",
         "&No",
         "D'&acord",
         "&Cancel·la",
         "&Següent >",
         "&Més tard",
         "Avís",
         "Error",
         "S'està preparant. . .",
         "S'ha publicat una versió nova de %s.\n%s\nVoleu actualitzar la vostra versió a la més "
         "recent?",
         "No s'ha trobat cap versió més nova. Ja esteu\nfent servir la versió més recent "
         "d'aquest programa.",
         "No s'ha trobat al lloc web del desenvolupador el fitxer amb la informació "
         "d'actualització.",
         "No es pot accedir a l'amfitrió %s.\n\nComproveu la connexió a Internet i\nproveu "
         "d'actualitzar més tard.",
         "L'actualització no s'ha completat.\nVoleu cancel·lar l'actualització?",
         "No s'ha trobat el fitxer %s o no és accessible.\n\nVoleu ometre aquest fitxer i "
         "continuar l'actualització?",
         "L'accés al fitxer remot «%s» està protegit amb contrasenya.\n\nIntroduïu el nom "
         "d'usuari i la contrasenya (rebuts després del registre) per continuar "
         "l'actualització.",
         "S'ha perdut la connexió amb el servidor remot.\n\nRestabliu la connexió i proveu\n"
         "d'actualitzar més tard.",
     }},
    {wlBasque,
     0x2D,
     {
         "Aplikazioa eguneratzeko morroia",
         "Fitxategiak deskargatzen...",
         "Eguneratzea osatu da!",
         "Uneko fitxategia",
         "Fitxategi guztiak",
         "Fitxategia deskargatzen hemendik:",
         "Fitxategiaren tamaina: %.1f KB",
         "Transferentzia-abiadura: %.1f KB/s",
         "Geratzen den denbora, gutxi gorabehera: %d:%.2d:%.2d",
         "Deskargatzen: %d / %d",
         "%s aplikazioaren eguneratzea behar bezala osatu da.\n\nSakatu Ados botoia programa "
         "berrabiarazteko.",
         "Idatzi pasahitza",
         "Erabiltzailea",
         "Pasahitza",
         "&Bai",
         "&Ez",
         "&Ados",
         "&Utzi",
         "&Hurrengoa >",
         "&Geroago",
         "Abisua",
         "Errorea",
         "Prestatzen. . .",
         "%s aplikazioaren bertsio berri bat argitaratu da.\n%s\nZure bertsioa azkenera "
         "eguneratu nahi duzu?",
         "Ez da bertsio berriagorik aurkitu. Programa honen\nazken bertsioa erabiltzen ari zara "
         "dagoeneko.",
         "Ez da aurkitu eguneratze-informazioa duen fitxategia garatzailearen webgunean.",
         "%s ostalaria ez dago eskuragarri.\n\nEgiaztatu Interneteko konexioa eta\nsaiatu "
         "berriro eguneratzen geroago.",
         "Eguneratzea ez da osatu.\nEguneratzea bertan behera utzi nahi duzu?",
         "%s fitxategia ez da aurkitu edo ezin da atzitu.\n\nFitxategi hau saltatu eta "
         "eguneratzearekin jarraitu?",
         "\"%s\" urruneko fitxategia pasahitzez babestuta dago.\n\nIdatzi erabiltzaile-izena eta "
         "pasahitza (erregistratu ondoren jasoak) eguneratzearekin jarraitzeko.",
         "Urruneko zerbitzariarekiko konexioa galdu da.\n\nBerreskuratu konexioa eta saiatu\n"
         "berriro eguneratzen geroago.",
     }},
    {wlAfrikaans,
     0x36,
     {
         "Bywerkingsassistent vir die toepassing",
         "Lêers word afgelaai...",
         "Bywerking voltooi!",
         "Huidige lêer",
         "Alle lêers",
         "Lêer word afgelaai vanaf",
         "Lêergrootte: %.1f KB",
         "Oordragspoed: %.1f KB/s",
         "Beraamde oorblywende tyd: %d:%.2d:%.2d",
         "Laai %d van %d af",
         "Die bywerking van %s is suksesvol voltooi.\n\nDruk die OK-knoppie om die program te "
         "herbegin.",
         "Voer wagwoord in",
         "Gebruiker",
         "Wagwoord",
         "&Ja",
         "&Nee",
         "&OK",
         "&Kanselleer",
         "&Volgende >",
         "&Later",
         "Waarskuwing",
         "Fout",
         "Berei voor. . .",
         "'n Nuwer weergawe van %s is vrygestel.\n%s\nWil u u weergawe na die nuutste een "
         "bywerk?",
         "Geen nuwer weergawe gevind nie. U gebruik reeds\ndie nuutste weergawe van hierdie "
         "program.",
         "Die lêer met die bywerkingsinligting is nie op die ontwikkelaar se webwerf gevind nie.",
         "Gasheer %s is onbereikbaar.\n\nGaan u internetverbinding na en\nprobeer later weer om "
         "die program by te werk.",
         "Die bywerking is nie voltooi nie.\nWil u die bywerking staak?",
         "Lêer %s is nie gevind nie of is ontoeganklik.\n\nSlaan hierdie lêer oor en gaan voort "
         "met die bywerking?",
         "Toegang tot die afgeleë lêer \"%s\" word deur 'n wagwoord beskerm.\n\nVoer u "
         "gebruikersnaam en wagwoord in (ontvang ná registrasie) om met die bywerking voort te "
         "gaan.",
         "Verbinding met die afgeleë bediener is verloor.\n\nHerstel die verbinding en probeer\n"
         "later weer om die program by te werk.",
     }},
    {wlChineseTraditional,
     0x04,
     {
         "應用程式更新精靈",
         "正在下載檔案...",
         "更新完成！",
         "目前檔案",
         "所有檔案",
         "正在從以下位置下載檔案",
         "檔案大小：%.1f KB",
         "傳輸速率：%.1f KB/s",
         "預估剩餘時間：%d:%.2d:%.2d",
         "正在下載第 %d 個，共 %d 個",
         "%s 已成功完成更新。\n\n請按「確定」按鈕重新啟動程式。",
         "輸入密碼",
         "使用者名稱",
         "密碼",
         "是(&Y)",
         "否(&N)",
         "確定(&O)",
         "取消(&C)",
         "下一步(&N) >",
         "稍後(&L)",
         "警告",
         "錯誤",
         "正在準備. . .",
         "%s 已發行新版本。\n%s\n是否要將您的版本更新為最新版本？",
         "找不到較新的版本。您目前使用的\n已經是本程式的最新版本。",
         "在開發者網站上找不到包含更新資訊的檔案。",
         "無法連線到主機 %s。\n\n請檢查您的網際網路連線，並\n稍後再嘗試更新此軟體。",
         "更新尚未完成。\n是否要中止更新？",
         "找不到檔案 %s 或無法存取。\n\n是否略過此檔案並繼續更新？",
         "存取遠端檔案「%s」需要密碼。\n\n請輸入您的使用者名稱和密碼（註冊後取得）以繼續更新"
         "軟體。",
         "與遠端伺服器的連線已中斷。\n\n請恢復連線，並\n稍後再嘗試更新此軟體。",
     }},
    {wlChineseSimplified,
     0x04,
     {
         "应用程序更新向导",
         "正在下载文件...",
         "更新完成！",
         "当前文件",
         "所有文件",
         "正在从以下位置下载文件",
         "文件大小：%.1f KB",
         "传输速率：%.1f KB/s",
         "预计剩余时间：%d:%.2d:%.2d",
         "正在下载第 %d 个，共 %d 个",
         "%s 已成功完成更新。\n\n请按“确定”按钮重新启动程序。",
         "输入密码",
         "用户名",
         "密码",
         "是(&Y)",
         "否(&N)",
         "确定(&O)",
         "取消(&C)",
         "下一步(&N) >",
         "稍后(&L)",
         "警告",
         "错误",
         "正在准备. . .",
         "%s 已发布新版本。\n%s\n是否将您的版本更新为最新版本？",
         "未找到更新的版本。您正在使用的\n已经是本程序的最新版本。",
         "在开发者网站上找不到包含更新信息的文件。",
         "无法访问主机 %s。\n\n请检查您的 Internet 连接，并\n稍后再尝试更新此软件。",
         "更新尚未完成。\n是否要中止更新？",
         "找不到文件 %s 或无法访问。\n\n是否跳过此文件并继续更新？",
         "访问远程文件“%s”需要密码。\n\n请输入您的用户名和密码（注册后获得）以继续更新软件。",
         "与远程服务器的连接已断开。\n\n请恢复连接，并\n稍后再尝试更新此软件。",
     }},
    {wlIndonesian,
     0x21,
     {
         "Wizard pembaruan aplikasi",
         "Mengunduh berkas...",
         "Pembaruan selesai!",
         "Berkas saat ini",
         "Semua berkas",
         "Mengunduh berkas dari",
         "Ukuran berkas: %.1f KB",
         "Kecepatan transfer: %.1f KB/s",
         "Perkiraan sisa waktu: %d:%.2d:%.2d",
         "Mengunduh %d dari %d",
         "Pembaruan %s berhasil diselesaikan.\n\nTekan tombol OK untuk memulai ulang program.",
         "Masukkan kata sandi",
         "Pengguna",
         "Kata Sandi",
         "&Ya",
         "&Tidak",
         "&OK",
         "&Batal",
         "&Lanjut >",
         "&Nanti",
         "Peringatan",
         "Kesalahan",
         "Menyiapkan. . .",
         "Versi baru %s telah dirilis.\n%s\nApakah Anda ingin memperbarui versi Anda ke yang "
         "terbaru?",
         "Versi yang lebih baru tidak ditemukan. Anda sudah\nmenggunakan versi terbaru program "
         "ini.",
         "Berkas yang berisi informasi pembaruan tidak ditemukan di situs pengembang.",
         "Host %s tidak dapat dijangkau.\n\nPeriksa koneksi Internet Anda dan\ncoba perbarui "
         "perangkat lunak ini lagi nanti.",
         "Pembaruan belum selesai.\nApakah Anda ingin membatalkan pembaruan?",
         "Berkas %s tidak ditemukan atau tidak dapat diakses.\n\nLewati berkas ini dan lanjutkan "
         "pembaruan?",
         "Akses ke berkas jarak jauh \"%s\" dilindungi kata sandi.\n\nMasukkan nama pengguna dan "
         "kata sandi Anda (diterima setelah registrasi) untuk melanjutkan pembaruan.",
         "Koneksi dengan server jarak jauh terputus.\n\nPulihkan koneksi dan coba\nperbarui "
         "perangkat lunak ini lagi nanti.",
     }},
    {wlMalay,
     0x3E,
     {
         "Wizard kemas kini aplikasi",
         "Memuat turun fail...",
         "Kemas kini selesai!",
         "Fail semasa",
         "Semua fail",
         "Memuat turun fail daripada",
         "Saiz fail: %.1f KB",
         "Kadar pemindahan: %.1f KB/s",
         "Anggaran baki masa: %d:%.2d:%.2d",
         "Memuat turun %d daripada %d",
         "Kemas kini %s telah berjaya diselesaikan.\n\nTekan butang OK untuk memulakan semula "
         "program.",
         "Masukkan kata laluan",
         "Pengguna",
         "Kata Laluan",
         "&Ya",
         "&Tidak",
         "&OK",
         "&Batal",
         "&Seterusnya >",
         "&Kemudian",
         "Amaran",
         "Ralat",
         "Menyediakan. . .",
         "Versi baharu %s telah dikeluarkan.\n%s\nAdakah anda mahu mengemas kini versi anda "
         "kepada yang terkini?",
         "Versi yang lebih baharu tidak ditemui. Anda sudah\nmenggunakan versi terkini program "
         "ini.",
         "Fail yang mengandungi maklumat kemas kini tidak ditemui di laman web pembangun.",
         "Hos %s tidak dapat dicapai.\n\nSila semak sambungan Internet anda dan\ncuba kemas kini "
         "perisian ini sekali lagi kemudian.",
         "Kemas kini belum selesai.\nAdakah anda mahu membatalkan kemas kini?",
         "Fail %s tidak ditemui atau tidak boleh dicapai.\n\nLangkau fail ini dan teruskan kemas "
         "kini?",
         "Akses kepada fail jauh \"%s\" dilindungi kata laluan.\n\nSila masukkan nama pengguna "
         "dan kata laluan anda (diterima selepas pendaftaran) untuk meneruskan kemas kini.",
         "Sambungan dengan pelayan jauh terputus.\n\nSila pulihkan sambungan dan cuba\nkemas "
         "kini perisian ini sekali lagi kemudian.",
     }},
    {wlIcelandic,
     0x0F,
     {
         "Uppfærsluálfur forritsins",
         "Sæki skrár...",
         "Uppfærslu lokið!",
         "Núverandi skrá",
         "Allar skrár",
         "Sæki skrá frá",
         "Skráarstærð: %.1f KB",
         "Flutningshraði: %.1f KB/s",
         "Áætlaður tími eftir: %d:%.2d:%.2d",
         "Sæki %d af %d",
         "Uppfærslu á %s er lokið.\n\nSmelltu á hnappinn Í lagi til að endurræsa forritið.",
         "Sláðu inn lykilorð",
         "Notandanafn",
         "Lykilorð",
         "&Já",
         "&Nei",
         "Í &lagi",
         "&Hætta við",
         "&Næsta >",
         "&Seinna",
         "Viðvörun",
         "Villa",
         "Undirbý. . .",
         "Ný útgáfa af %s hefur verið gefin út.\n%s\nViltu uppfæra í nýjustu útgáfuna?",
         "Engin nýrri útgáfa fannst. Þú ert nú þegar\nmeð nýjustu útgáfu þessa forrits.",
         "Skráin með uppfærsluupplýsingunum fannst ekki á vefsvæði framleiðandans.",
         "Ekki næst samband við hýsilinn %s.\n\nAthugaðu nettenginguna og\nreyndu að uppfæra "
         "hugbúnaðinn aftur síðar.",
         "Uppfærslunni er ekki lokið.\nViltu hætta við uppfærsluna?",
         "Skráin %s fannst ekki eða er ekki aðgengileg.\n\nSleppa þessari skrá og halda "
         "uppfærslunni áfram?",
         "Aðgangur að fjarskránni „%s“ er varinn með lykilorði.\n\nSláðu inn notandanafn og "
         "lykilorð (sem þú fékkst við skráningu) til að halda uppfærslunni áfram.",
         "Tengingin við fjarþjóninn rofnaði.\n\nKomdu tengingunni aftur á og reyndu\nað uppfæra "
         "hugbúnaðinn aftur síðar.",
     }},
    {wlTurkish,
     0x1F,
     {
         "Uygulama güncelleme sihirbazı",
         "Dosyalar indiriliyor...",
         "Güncelleme tamamlandı!",
         "Geçerli dosya",
         "Tüm dosyalar",
         "Dosya şuradan indiriliyor",
         "Dosya boyutu: %.1f KB",
         "Aktarım hızı: %.1f KB/s",
         "Tahmini kalan süre: %d:%.2d:%.2d",
         "İndiriliyor: %d / %d",
         "%s güncellemesi başarıyla tamamlandı.\n\nProgramı yeniden başlatmak için Tamam "
         "düğmesine basın.",
         "Parola girin",
         "Kullanıcı Adı",
         "Parola",
         "&Evet",
         "&Hayır",
         "&Tamam",
         "&İptal",
         "&Sonraki >",
         "&Daha sonra",
         "Uyarı",
         "Hata",
         "Hazırlanıyor. . .",
         "%s uygulamasının yeni bir sürümü yayınlandı.\n%s\nSürümünüzü en yenisiyle güncellemek "
         "istiyor musunuz?",
         "Daha yeni bir sürüm bulunamadı. Bu programın\nen son sürümünü zaten kullanıyorsunuz.",
         "Güncelleme bilgilerini içeren dosya geliştiricinin sitesinde bulunamadı.",
         "%s sunucusuna ulaşılamıyor.\n\nLütfen İnternet bağlantınızı denetleyin ve\nbu yazılımı "
         "daha sonra yeniden güncellemeyi deneyin.",
         "Güncelleme tamamlanmadı.\nGüncellemeyi iptal etmek istiyor musunuz?",
         "%s dosyası bulunamadı veya erişilemiyor.\n\nBu dosya atlanıp güncellemeye devam "
         "edilsin mi?",
         "\"%s\" uzak dosyasına erişim parola korumalıdır.\n\nYazılım güncellemesine devam etmek "
         "için lütfen kullanıcı adınızı ve parolanızı (kayıttan sonra aldığınız) girin.",
         "Uzak sunucuyla bağlantı kesildi.\n\nLütfen bağlantıyı yeniden kurun ve\nbu yazılımı "
         "daha sonra yeniden güncellemeyi deneyin.",
     }},
    {wlNorwegian,
     0x14,
     {
         "Veiviser for programoppdatering",
         "Laster ned filer...",
         "Oppdateringen er fullført!",
         "Gjeldende fil",
         "Alle filer",
         "Laster ned fil fra",
         "Filstørrelse: %.1f kB",
         "Overføringshastighet: %.1f kB/s",
         "Beregnet gjenværende tid: %d:%.2d:%.2d",
         "Laster ned %d av %d",
         "Oppdateringen av %s er fullført.\n\nTrykk på OK-knappen for å starte programmet på "
         "nytt.",
         "Skriv inn passord",
         "Brukernavn",
         "Passord",
         "&Ja",
         "&Nei",
         "&OK",
         "&Avbryt",
         "&Neste >",
         "&Senere",
         "Advarsel",
         "Feil",
         "Forbereder. . .",
         "En nyere versjon av %s er utgitt.\n%s\nVil du oppdatere til den nyeste versjonen?",
         "Fant ingen nyere versjon. Du bruker\nallerede den nyeste versjonen av programmet.",
         "Finner ikke filen med oppdateringsinformasjon på utviklerens nettsted.",
         "Verten %s kan ikke nås.\n\nKontroller Internett-tilkoblingen og\nprøv å oppdatere "
         "programmet igjen senere.",
         "Oppdateringen er ikke fullført.\nVil du avbryte oppdateringen?",
         "Filen %s ble ikke funnet eller er utilgjengelig.\n\nVil du hoppe over denne filen og "
         "fortsette oppdateringen?",
         "Tilgang til den eksterne filen «%s» er passordbeskyttet.\n\nSkriv inn brukernavn og "
         "passord (mottatt etter registrering) for å fortsette oppdateringen.",
         "Forbindelsen med den eksterne serveren ble brutt.\n\nGjenopprett forbindelsen og "
         "prøv\nå oppdatere programmet igjen senere.",
     }},
    {wlSlovak,
     0x1B,
     {
         "Sprievodca aktualizáciou aplikácie",
         "Sťahovanie súborov...",
         "Aktualizácia je dokončená!",
         "Aktuálny súbor",
         "Všetky súbory",
         "Sťahovanie súboru z",
         "Veľkosť súboru: %.1f kB",
         "Prenosová rýchlosť: %.1f kB/s",
         "Odhadovaný zostávajúci čas: %d:%.2d:%.2d",
         "Sťahovanie %d z %d",
         "Aktualizácia aplikácie %s bola úspešne dokončená.\n\nStlačením tlačidla OK program "
         "reštartujete.",
         "Zadajte heslo",
         "Používateľ",
         "Heslo",
         "&Áno",
         "&Nie",
         "&OK",
         "&Zrušiť",
         "&Ďalej >",
         "&Neskôr",
         "Upozornenie",
         "Chyba",
         "Príprava. . .",
         "Bola vydaná nová verzia aplikácie %s.\n%s\nChcete aktualizovať svoju verziu na "
         "najnovšiu?",
         "Novšia verzia sa nenašla. Už používate\nnajnovšiu verziu tohto programu.",
         "Súbor s informáciami o aktualizácii sa na webe vývojára nenašiel.",
         "Hostiteľ %s je nedostupný.\n\nSkontrolujte pripojenie k Internetu a\nskúste program "
         "aktualizovať neskôr.",
         "Aktualizácia nie je dokončená.\nChcete aktualizáciu prerušiť?",
         "Súbor %s sa nenašiel alebo je neprístupný.\n\nPreskočiť tento súbor a pokračovať "
         "v aktualizácii?",
         "Prístup k vzdialenému súboru „%s“ je chránený heslom.\n\nZadajte meno používateľa a "
         "heslo (získané po registrácii), aby ste mohli pokračovať v aktualizácii.",
         "Spojenie so vzdialeným serverom sa prerušilo.\n\nObnovte spojenie a skúste\nprogram "
         "aktualizovať neskôr.",
     }},
};

static_assert(kMessageCount <= kMessageBlockSize);

constexpr bool BlocksFollowTheLanguages() {
    if (std::size(kMessages) != static_cast<std::size_t>(kLanguageCount)) return false;
    for (std::size_t i = 0; i < std::size(kMessages); ++i) {
        if (kMessages[i].language != static_cast<int>(i) + 1) return false;
        for (std::string_view text : kMessages[i].texts) {
            if (text.empty()) return false;
        }
    }
    return true;
}
static_assert(BlocksFollowTheLanguages(), "one full block per language, in enumeration order");

// The component's own strings, outside the language blocks.
constexpr std::pair<int, std::string_view> kComponentStrings[] = {
    {kAppTitleStringId, "<AppTitle>"},
    {kMakerStringId, "Corvel"},
    {kProductStringId, "Relift"},
};

std::atomic<int> gMessageBase{kFirstMessageId};

bool IsLanguage(TkxReliftLanguage language) {
    const int number = language;
    return number >= wlEnglish && number <= wlSlovak;
}

// --- FormatText ---

// Larger widths and precisions are taken for a broken format rather than honoured: a text of
// megabytes of padding helps nobody.
constexpr int kMaxFieldSize = 1000;
// Beyond this many decimals a double has nothing left to show.
constexpr int kMaxFloatPrecision = 100;

struct Placeholder {
    bool leftAlign = false;
    int width = -1;
    int precision = -1;
    char type = 0;  // 'd', 'f', 's' or '%'
};

// Reads a number of at most kMaxFieldSize; false when there is none or it is too large.
bool ReadFieldSize(std::string_view format, std::size_t& pos, int& value) {
    const std::size_t start = pos;
    value = 0;
    while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
        value = value * 10 + (format[pos] - '0');
        if (value > kMaxFieldSize) return false;
        ++pos;
    }
    return pos > start;
}

// Parses the placeholder whose "%" is at `pos`; on success `pos` is just after it.
bool ParsePlaceholder(std::string_view format, std::size_t& pos, Placeholder& p) {
    std::size_t i = pos + 1;
    if (i < format.size() && format[i] == '%') {
        p.type = '%';
        pos = i + 1;
        return true;
    }
    if (i < format.size() && format[i] == '-') {
        p.leftAlign = true;
        ++i;
    }
    if (i < format.size() && format[i] >= '0' && format[i] <= '9' &&
        !ReadFieldSize(format, i, p.width)) {
        return false;
    }
    if (i < format.size() && format[i] == '.') {
        ++i;
        if (!ReadFieldSize(format, i, p.precision)) return false;
    }
    if (i >= format.size()) return false;
    switch (format[i]) {
        case 'd':
        case 'D':
            p.type = 'd';
            break;
        case 'f':
        case 'F':
            p.type = 'f';
            if (p.precision > kMaxFloatPrecision) return false;
            break;
        case 's':
        case 'S':
            p.type = 's';
            break;
        default:
            return false;
    }
    pos = i + 1;
    return true;
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Widths and precisions of texts count characters, not the bytes of their UTF-8 encoding.
std::size_t CharacterCount(std::string_view s) {
    std::size_t n = 0;
    for (char c : s)
        n += IsContinuationByte(c) ? 0 : 1;
    return n;
}

std::string_view FirstCharacters(std::string_view s, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t seen = 0; end < s.size(); ++end) {
        if (!IsContinuationByte(s[end]) && seen++ == count) break;
    }
    return s.substr(0, end);
}

void AppendPadded(std::string& out, std::string_view field, const Placeholder& p) {
    const std::size_t length = CharacterCount(field);
    const std::size_t pad =
        p.width > 0 && length < static_cast<std::size_t>(p.width) ? p.width - length : 0;
    if (!p.leftAlign) out.append(pad, ' ');
    out.append(field);
    if (p.leftAlign) out.append(pad, ' ');
}

// Appends the argument as the placeholder asks; false when the argument is of another kind.
bool AppendArgument(std::string& out, const Placeholder& p, const TFormatArg& arg) {
    switch (p.type) {
        case 'd': {
            if (arg.kind != TFormatArg::Kind::Int) return false;
            // The magnitude as unsigned, so the most negative value has one too.
            const unsigned long long magnitude = arg.i < 0
                                                     ? 0ULL - static_cast<unsigned long long>(arg.i)
                                                     : static_cast<unsigned long long>(arg.i);
            std::array<char, 24> digits{};
            const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), magnitude);
            const std::string_view number(digits.data(), end.ptr - digits.data());
            std::string field = arg.i < 0 ? "-" : "";
            if (p.precision > 0 && number.size() < static_cast<std::size_t>(p.precision))
                field.append(p.precision - number.size(), '0');
            field += number;
            AppendPadded(out, field, p);
            return true;
        }
        case 'f': {
            if (arg.kind != TFormatArg::Kind::Float) return false;
            // Enough for the largest double with kMaxFloatPrecision decimals.
            std::array<char, 512> buffer{};
            const auto [end, ec] =
                std::to_chars(buffer.data(), buffer.data() + buffer.size(), arg.f,
                              std::chars_format::fixed, p.precision < 0 ? 2 : p.precision);
            if (ec != std::errc()) return false;
            AppendPadded(out, std::string_view(buffer.data(), end - buffer.data()), p);
            return true;
        }
        case 's': {
            if (arg.kind != TFormatArg::Kind::Text) return false;
            AppendPadded(out, p.precision < 0 ? arg.s : FirstCharacters(arg.s, p.precision), p);
            return true;
        }
    }
    return false;
}

}  // namespace

int MessageBaseOf(TkxReliftLanguage language) {
    if (!IsLanguage(language)) return kFirstMessageId;
    return kFirstMessageId + kMessageBlockSize * (language - wlEnglish);
}

TkxReliftLanguage LanguageOf(std::uint16_t languageId) {
    const int primary = languageId & 0x3FF;
    const int sub = languageId >> 10;
    if (primary == 0x16) return sub == 0x01 ? wlPortugueseBrazilian : wlPortuguese;
    if (primary == 0x04) return sub == 0x02 ? wlChineseSimplified : wlChineseTraditional;
    for (const LanguageBlock& block : kMessages) {
        if (block.primary == primary) return block.language;
    }
    return wlEnglish;
}

int MessageBase() {
    return gMessageBase.load();
}

void SetMessageBase(TkxReliftLanguage language) {
    if (IsLanguage(language)) gMessageBase.store(MessageBaseOf(language));
}

TkxReliftLanguage DetectLanguage(std::uint16_t systemLanguageId) {
    const TkxReliftLanguage language = LanguageOf(systemLanguageId);
    SetMessageBase(language);
    return language;
}

std::string LoadStringId(int id) {
    for (const auto& [stringId, text] : kComponentStrings) {
        if (stringId == id) return std::string(text);
    }
    if (id < kFirstMessageId) return {};
    const int block = (id - kFirstMessageId) / kMessageBlockSize;
    const int k = (id - kFirstMessageId) % kMessageBlockSize;
    if (block >= kLanguageCount || k >= kMessageCount) return {};
    return std::string(kMessages[block].texts[k]);
}

std::string LoadMessageText(int k) {
    if (k < 0 || k >= kMessageCount) return {};
    return LoadStringId(MessageBase() + k);
}

std::string FormatText(std::string_view format, std::initializer_list<TFormatArg> args) {
    std::string out;
    out.reserve(format.size() + 32);
    const TFormatArg* next = args.begin();
    std::size_t pos = 0;
    while (pos < format.size()) {
        const std::size_t percent = format.find('%', pos);
        if (percent == std::string_view::npos) {
            out.append(format.substr(pos));
            break;
        }
        out.append(format.substr(pos, percent - pos));
        pos = percent;
        Placeholder p;
        if (!ParsePlaceholder(format, pos, p)) {
            // Not a placeholder: the sign stands for itself and the text after it is read on.
            out += '%';
            pos = percent + 1;
            continue;
        }
        if (p.type == '%') {
            out += '%';
            continue;
        }
        // Every placeholder takes the next argument, even one it cannot show, so that a bad one
        // does not shift the arguments of the placeholders after it.
        const TFormatArg* arg = next != args.end() ? next++ : nullptr;
        if (!arg || !AppendArgument(out, p, *arg))
            out.append(format.substr(percent, pos - percent));
    }
    return out;
}

std::string FormatMessageText(int k, std::initializer_list<TFormatArg> args) {
    return FormatText(LoadMessageText(k), args);
}

}  // namespace pw::update
