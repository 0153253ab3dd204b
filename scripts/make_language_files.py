#!/usr/bin/python3
"""Writes lang/Espanol.Len and lang/Ingles.Len from the table below.

Edit the texts here, never in the .Len files, and run this script again:
    /usr/bin/python3 scripts/make_language_files.py

The files are INI files with one section [General], one Key=Text line per
key, Windows-1252 bytes and CR LF line ends. Every key the program looks up
appears in both files; the order follows src/settings/language_keys.h.
"""

import os
import re
import sys

# Some texts are glued to numbers, titles or paths without a separator of
# their own (" archivos procesados en ", "... catalogado como: "). The INI
# reader trims blanks at both ends of a value but keeps what stands inside
# one pair of double quotes, so such texts are written quoted.
MAX_TEXT_BYTES = 255

# key, Spanish, English
TEXTS = [
    ("Aceptar", "&Aceptar", "&OK"),
    ("Actualizando", "Actualizando", "Updating"),
    ("Ajustar", "Ajustar", "Fit"),
    ("Album", "Album", "Album"),
    ("ArbolHint", "Estas son las carpetas del catálogo actual.",
     "These are the folders of the current catalogue."),
    ("Archivos1", "Archivos", "Files"),
    ("ArchivosCatalogos", "Archivos de catálogos", "Catalogue files"),
    ("ArchivosHint",
     "Haz doble click para editar el archivo seleccionado. Pulsa el botón "
     "derecho del ratón para ver más opciones.",
     "Double-click to edit the selected file. Click the right mouse button "
     "to see more options."),
    ("ArchivosProcesados", " archivos procesados en ", " files processed in "),
    ("ProgresoArchivos", "archivos", "files"),
    ("ProgresoCarpetas", "carpetas", "folders"),
    ("AsignarGrafico", "¿Deseas asignar esta imagen al catálogo?",
     "Do you want to assign this picture to the catalogue?"),
    ("Atencion", "Atención", "Warning"),
    ("BBuscarHint", "Pulsa aquí para buscar lo que desees en los catálogos.",
     "Click here to search the catalogues for whatever you want."),
    ("BorrarArchivo", "Borrar archivo(s)", "Delete file(s)"),
    ("BorrarCatalogo", "Se borrará el catálogo", "This will delete the catalogue"),
    ("BorrarCD", "Borrar catálogo", "Delete catalogue"),
    # Also the start of the deletion question (text + "?"), so no accelerator.
    ("BorrarImagen", "Borrar Imagen", "Delete Picture"),
    ("BorrarMuchosArchivos",
     "¿Deseas borrar del catálogo los archivos seleccionados?",
     "Do you want to delete the selected files from the catalogue?"),
    ("BorrarUnArchivo", "¿Deseas borrar del catálogo el archivo seleccionado?",
     "Do you want to delete the selected file from the catalogue?"),
    ("BuscaHint",
     "Haz doble click para localizar el archivo y activar el catálogo al que "
     "pertenezca.",
     "Double-click to locate the file and make its catalogue the current one."),
    ("Buscar", "Buscar", "Search"),
    ("Busqueda1", "Búsqueda", "Search"),
    ("BusquedasAnteriores", "Búsquedas anteriores", "Previous searches"),
    ("Cancelar", "Cancelar", "Cancel"),
    ("Catalogar1", "&Catalogar", "&Catalogue"),
    ("CatalogarHint",
     "Pulsa aquí para comenzar el proceso de catalogación de la unidad que "
     "desees.",
     "Click here to start cataloguing the drive of your choice."),
    ("CatalogoActual", "Catálogo actual:", "Current catalogue:"),
    ("CatalogoExiste", "Este disco ya está catalogado como: ",
     "This disc is already catalogued as: "),
    ("CatalogoNoEncontrado", "No se ha encontrado el catálogo",
     "Catalogue not found"),
    ("CarpetaOcupada",
     "Otro programa está modificando estos catálogos. Inténtalo de nuevo dentro de unos "
     "segundos.",
     "Another program is changing these catalogues. Try again in a few seconds."),
    ("CatalogoCambiado",
     "Otro programa ha cambiado este catálogo: no se ha grabado nada y se muestra de nuevo "
     "tal como está ahora.",
     "Another program has changed this catalogue: nothing was saved, and it is shown again "
     "as it is now."),
    ("CatalogosQuitados",
     "\"Discos quitados porque su catalogación no llegó a terminar: \"",
     "\"Discs removed because their cataloguing never finished: \""),
    ("CatalogosTerminados",
     "\"Discos cuya catalogación se interrumpió al final y se ha completado: \"",
     "\"Discs whose cataloguing was cut short at the end and has been completed: \""),
    ("NotaIlegible",
     "No se ha podido leer la nota de este disco; se conserva tal como está guardada",
     "The note of this disc could not be read; it is kept as it is stored"),
    ("TablaAjena",
     "\"La tabla es de otra aplicación y se ha dejado como estaba; le faltan estos campos: \"",
     "\"The table belongs to another application and was left as it was; it lacks these fields: \""),
    ("TablaCambiada",
     "Otro programa ha cambiado la tabla de discos: se han regenerado sus índices.",
     "Another program has changed the disc table: its indexes have been rebuilt."),
    ("TablaConvertida",
     "La tabla de discos estaba guardada como dBase III (por una hoja de cálculo, por ejemplo): "
     "se ha convertido a dBase IV con sus notas. La copia anterior está en \"Archivos regenerados\".",
     "The disc table had been saved as dBase III (by a spreadsheet, say): it has been converted "
     "to dBase IV with its notes. The previous copy is in \"Archivos regenerados\"."),
    ("TablaReparada",
     "La cabecera de la tabla de discos no contaba todos sus discos: se ha reparado con todos "
     "ellos. La copia anterior está en \"Archivos regenerados\".",
     "The disc table's header did not count all its discs: it has been repaired with all of "
     "them. The previous copy is in \"Archivos regenerados\"."),
    ("Catalogos1", "Catálogos", "Catalogues"),
    ("CDsHint",
     "Haz doble click para ver los archivos de este catálogo. Pulsa el botón "
     "derecho del ratón para ver más opciones. Pulsa en la cabecera para "
     "ordenar tus catálogos por nombre, tamaño, etc...",
     "Double-click to see the files of this catalogue. Click the right mouse "
     "button to see more options. Click a column header to sort your "
     "catalogues by name, size, etc..."),
    ("Coincidencias", "Demasiadas coincidencias: no se muestran todas.",
     "Too many matches: not all of them are shown."),
    ("Comentarios", "Comentarios", "Comments"),
    ("Comprimidos", "Explorar archivos comprimidos", "Explore compressed archives"),
    ("ComprimidosHint",
     "Al realizar el catálogo se incluirá el contenido de los archivos comprimidos "
     "(.zip, .7z, .rar, .tar, .cab) como si fueran carpetas.",
     "While cataloguing, the contents of compressed archives (.zip, .7z, .rar, "
     ".tar, .cab) are included as if they were folders."),
    ("ConvirtiendoImagen", "Convirtiendo imagen...", "Converting picture..."),
    ("CreandoIndices", "Creando índices, espera un momento...",
     "Creating indexes, please wait..."),
    ("CreandoIndiceBusqueda", "Creando el índice de búsqueda...",
     "Building the search index..."),
    ("DatosCatalogo", "Datos del catálogo", "Catalogue data"),
    ("Directorio", "Ubicación catálogos", "Catalogue location"),
    ("DiscosImportados", "Catálogos importados: ", "Catalogues imported: "),
    ("DiscosOmitidos", ". Ya estaban catalogados: ", ". Already catalogued: "),
    ("EBuscaHint",
     "Teclea la cadena a buscar y pulsa <ENTER> o <BUSCAR>. La búsqueda se "
     "hará tanto en los directorios, como en el nombre del archivo y la "
     "descripción.",
     "Type the text to look for and press <ENTER> or <SEARCH>. The search "
     "covers the folders as well as the file names and descriptions."),
    ("EditarArchivo", "Editar archivo", "Edit file"),
    ("EditarCD", "Editar catálogo", "Edit catalogue"),
    ("Encontrado", "se ha encontrado", "was found"),
    ("Encontrados", "Encontrados", "Found"),
    ("ErrorArchivo", "No se ha podido abrir el archivo", "Could not open the file"),
    ("ErrorCarpetaCatalogos",
     "No se puede escribir en la carpeta de catálogos; no se ha catalogado nada",
     "The catalogue folder cannot be written; nothing was catalogued"),
    ("ErrorCatalogoNoGrabado",
     "No se han podido grabar los archivos del catálogo; el disco no se ha añadido",
     "The catalogue files could not be written; the disc was not added"),
    ("ErrorConvertir", "No se ha podido convertir la imagen a formato JPEG.",
     "Could not convert the picture to JPEG format."),
    ("ErrorCrearDirectorio", "No se ha podido crear el directorio",
     "Could not create the folder"),
    ("ErrorGrabar", "Se ha producido un error al grabar la imagen.",
     "An error occurred while saving the picture."),
    ("ErrorGrabarCatalogo",
     "No se ha podido grabar el catálogo; no se ha cambiado nada",
     "The catalogue could not be saved; nothing was changed"),
    ("ErrorGrabarDisco",
     "No se han podido grabar los datos del disco",
     "The disc data could not be saved"),
    ("ErrorHTML", "No se ha podido abrir el documento",
     "Could not open the document"),
    ("ErrorUnidad",
     "No se puede leer la unidad seleccionada. Comprueba que tiene un disco "
     "insertado.",
     "The selected drive cannot be read. Check that it holds a disc."),
    ("Etiqueta", "Etiqueta", "Label"),
    ("Exportacion", "Exportación", "Export"),
    ("FacilitarNombre", "Debes facilitar un nombre para el catálogo.",
     "Please enter a name for the catalogue."),
    ("Fecha", "Fecha", "Date"),
    ("FicherosCreados", "Se han creado los ficheros: ",
     "The following files have been created: "),
    ("FiltrarAlbum", "Filtrar por album...", "Filter by album..."),
    ("FiltroHint", "Pulsa Enter para refrescar el filtro",
     "Press Enter to refresh the filter"),
    ("GrabandoImagen", "Grabando imagen...", "Saving picture..."),
    ("GrabarBusca", "Grabar búsqueda", "Save search"),
    ("GrabarBuscaHint", "Graba las búsquedas realizadas en documentos html.",
     "Saves the searches you have made as HTML documents."),
    ("HacerBusqueda", "Primero debes hacer una búsqueda.",
     "You must run a search first."),
    ("Idioma", "Lenguaje", "Language"),
    ("ImportandoDiscos", "Importando catálogos", "Importing catalogues"),
    ("ImagenDisco", "Imagen de disco...", "Disc image..."),
    ("Imagenes", "Imágenes", "Pictures"),
    ("Importar1", "Importar", "Import"),
    ("LimpiarFiltro", "Limpiar filtro", "Clear filter"),
    ("MArchivos", "Principal", "Main"),
    ("NArchivos", "Nº archivos", "No. of files"),
    ("NCD", "Nº CD", "CD no."),
    ("Ninguno", "Ninguno", "None"),
    ("MismaUbicacion", "Esa es la ubicación actual de los catálogos.",
     "That is where the catalogues are now."),
    ("NoDirectorio",
     "Sólo se pueden catalogar unidades completas: selecciona la raíz de una "
     "unidad.",
     "Only whole drives can be catalogued: choose the root of a drive."),
    ("NoExisteDirectorio",
     " No existe el directorio de datos. El programa se cerrará.",
     " The data folder does not exist. The program will close."),
    ("Nombre", "Nombre", "Name"),
    ("NombreDocumento", "Se ha creado el documento", "Document created:"),
    ("Notas", "Notas", "Notes"),
    ("NSerie", "Nº serie", "Serial no."),
    ("Numero", "Número", "Number"),
    ("Opciones1", "Opciones", "Options"),
    ("PaginasExportadas", "Páginas escritas en la carpeta Exportar: ",
     "Pages written to the Exportar folder: "),
    ("Parar", "&Parar", "&Stop"),
    ("PararHint", "Pulsa aquí para cancelar el proceso.",
     "Click here to cancel the process."),
    ("PrimeraVez",
     "¡Bienvenido a Zafirel! Es la primera vez que se usa este directorio de "
     "datos. Pulsa el botón Catalogar para crear tu primer catálogo.",
     "Welcome to Zafirel! This is the first time this data folder is used. "
     "Click the Catalogue button to create your first catalogue."),
    ("Procedencia", "Procedencia", "Source"),
    ("Propiedades", "Propiedades", "Properties"),
    ("S.O.", "Sistema operativo", "Operating system"),
    ("Salir1", "Salir", "Exit"),
    ("Segundos", "segundos", "seconds"),
    ("Seleccionar", "Seleccionar", "Select"),
    ("SeleccionarImagen", "&Seleccionar Imagen", "&Select Picture"),
    ("SeleccionaUnidad", "Selecciona la unidad que deseas catalogar",
     "Select the drive you want to catalogue"),
    ("SinImagen", "Sin imagen", "No picture"),
    ("Subdirectorios", "&Incluir subdirectorios", "&Include subfolders"),
    ("SubdirectoriosHint",
     "Se catalogarán todos los directorios de la unidad seleccionada.",
     "All the folders of the selected drive will be catalogued."),
    ("Tamaño", "Tamaño", "Size"),
    ("Temporal", "Temporal", "Temporary"),
    ("Titulo", "Título del catálogo", "Catalogue title"),
    ("Todos", "Todos", "All"),
    ("TotalCatalogos", "Total de catálogos:", "Total catalogues:"),
    ("UbicacionCambiada", "La ubicación de los catálogos ha cambiado.",
     "The location of the catalogues has changed."),
    ("Veces", "veces", "times"),
    ("VerCatalogos", "(el título del catálogo coincide con la búsqueda)",
     "(the catalogue title matches the search)"),
    ("VerHTML1", "Ver HTML", "View HTML"),
    ("Zips", "Buscar descripciones en archivos .zip",
     "Look for descriptions inside .zip files"),
    ("ZipsHint",
     "Al realizar el catálogo se buscarán archivos descriptivos dentro de los "
     "que tengan extensión .zip.",
     "While cataloguing, description files will be looked for inside the "
     "files with the .zip extension."),
    # Failures and their causes: what went wrong, then why (the system's reason).
    ("ErrorAbrirArchivo", "No se puede abrir el archivo",
     "The file cannot be opened"),
    ("ErrorLeerArchivo", "No se puede leer el archivo",
     "The file cannot be read"),
    ("ErrorEscribirArchivo", "No se puede escribir en el archivo",
     "The file cannot be written"),
    ("ErrorCrearArchivo", "No se puede crear el archivo",
     "The file cannot be created"),
    ("ArchivoTruncado", "El archivo está truncado",
     "The file is truncated"),
    ("ArchivoDanado", "El archivo está dañado",
     "The file is damaged"),
    ("ErrorTabla", "No se puede usar la tabla",
     "The table cannot be used"),
    ("FaltaCampo", "A la tabla le falta el campo",
     "The table lacks the field"),
    ("ErrorEscribirPagina", "No se puede escribir la página",
     "The page cannot be written"),
    ("ErrorEscribirCatalogo", "No se pueden escribir los archivos del catálogo",
     "The catalogue files cannot be written"),
    ("ErrorEscribirIndice", "No se puede escribir el índice de búsqueda",
     "The search index cannot be written"),
    ("PaginasNoEscritas", "Páginas que no se han podido escribir: ",
     "Pages that could not be written: "),
    ("ErrorBorrarCD", "No se ha podido borrar el catálogo",
     "The catalogue could not be deleted"),
    ("ErrorImportar", "No se han podido importar los catálogos",
     "The catalogues could not be imported"),
    ("ErrorActualizar", "No se ha podido actualizar la tabla",
     "The table could not be updated"),
    ("ErrorOpciones", "No se han podido guardar las opciones",
     "The options could not be saved"),
    ("ErrorCatalogar", "No se ha podido catalogar el disco",
     "The disc could not be catalogued"),
    ("ErrorEditarArchivo", "No se ha podido cambiar el archivo",
     "The file entry could not be changed"),
    ("CausaSinEspacio", "no queda espacio en el disco",
     "no space left on the disk"),
    ("CausaSinPermiso", "permiso denegado",
     "permission denied"),
    ("CausaSoloLectura", "el sistema de archivos es de solo lectura",
     "the file system is read-only"),
    ("CausaDemasiadoGrande", "el archivo es demasiado grande",
     "the file is too large"),
    ("CausaOtra", "error del sistema:",
     "system error:"),
]

FILES = [("Espanol.Len", 1), ("Ingles.Len", 2)]


def quoted_if_edged(text):
    return f'"{text}"' if text != text.strip(" ") else text


def check(key, text):
    """Returns the file bytes of one line, or exits naming the bad entry."""
    problems = []
    if not text.strip():
        problems.append("empty text")
    if any(c in text for c in "\r\n"):
        problems.append("line break in text")
    try:
        data = quoted_if_edged(text).encode("cp1252")
    except UnicodeEncodeError as error:
        sys.exit(f"{key}: not Windows-1252: {error}")
    if len(data) > MAX_TEXT_BYTES:
        problems.append(f"{len(data)} bytes, more than {MAX_TEXT_BYTES}")
    if problems:
        sys.exit(f"{key}: " + ", ".join(problems))
    return key.encode("cp1252") + b"=" + data + b"\r\n"


def program_keys(header):
    """The keys of kLanguageKeys, as Windows-1252 bytes, in their order."""
    with open(header, "rb") as source:
        text = source.read().decode("latin-1")
    body = re.search(r"kLanguageKeys\s*=\s*\{(.*?)\};", text, re.S)
    if not body:
        sys.exit(f"{header}: kLanguageKeys not found")
    keys = []
    # Adjacent literals ("Tama\xF1" "o") form one key.
    for entry in body.group(1).split(","):
        pieces = re.findall(r'"((?:[^"\\]|\\.)*)"', entry)
        if pieces:
            joined = "".join(pieces)
            raw = re.sub(r"\\x([0-9A-Fa-f]{2})", lambda m: chr(int(m.group(1), 16)), joined)
            keys.append(raw.encode("latin-1"))
    return keys


def main():
    keys = [row[0] for row in TEXTS]
    duplicates = {k for k in keys if keys.count(k) > 1}
    if duplicates:
        sys.exit("duplicate keys: " + ", ".join(sorted(duplicates)))
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    wanted = program_keys(os.path.join(root, "src", "settings", "language_keys.h"))
    ours = [k.encode("cp1252") for k in keys]
    if ours != wanted:
        missing = [k.decode("cp1252") for k in wanted if k not in ours]
        extra = [k.decode("cp1252") for k in ours if k not in wanted]
        sys.exit(f"table differs from kLanguageKeys: missing {missing}, unknown {extra}"
                 + ("" if missing or extra else ", or in another order"))
    folder = os.path.join(root, "lang")
    os.makedirs(folder, exist_ok=True)
    for name, column in FILES:
        body = b"[General]\r\n" + b"".join(check(row[0], row[column]) for row in TEXTS)
        with open(os.path.join(folder, name), "wb") as out:
            out.write(body)
        print(f"{name}: {len(TEXTS)} keys")


if __name__ == "__main__":
    main()
