// Opened as a file, the browser refuses the page's module scripts and the
// page would stay silently empty; this plain script still runs and says how
// to serve it.
if (location.protocol === "file:") {
  document.getElementById("unserved").hidden = false;
  document.getElementById("request").hidden = true;
}
