// How the page names things for people: characters, sizes, file names.

const NAMED = { " ": "a space", "\t": "a tab", ",": "a comma", "\n": "a line break" };

// A character as a person can see it: "e", a space, or its code for the
// invisible ones.
export function describe(text) {
  if (NAMED[text]) return NAMED[text];
  const point = text.codePointAt(0) ?? 0;
  const code = `U+${point.toString(16).toUpperCase().padStart(4, "0")}`;
  if (/^[\p{L}\p{N}\p{P}\p{S}]+$/u.test(text)) return `“${text}”`;
  return code;
}

export function sizeText(bytes) {
  if (bytes < 1024) return `${bytes} bytes`;
  if (bytes < 1024 * 1024) return `${(bytes / 1024).toFixed(0)} KiB`;
  return `${(bytes / (1024 * 1024)).toFixed(1)} MiB`;
}

const NOTES_IN_NAME = 24;

// voice_notes.wav: the notes shortened and kept to letters, digits, "s" for
// a sharp, so the name is safe on every file system.
export function fileName(voice, notes) {
  const safeVoice = voice.replace(/[^a-z0-9]/gi, "").slice(0, 20) || "voice";
  const plain = notes.replaceAll("#", "s").replace(/[^A-Za-z0-9]/g, "");
  const shortened = plain.length > NOTES_IN_NAME ? `${plain.slice(0, NOTES_IN_NAME)}-etc` : plain;
  return `${safeVoice}_${shortened || "silence"}.wav`;
}
