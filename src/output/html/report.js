// Filters the rows of the error table by the words typed.
(function () {
  var box = document.getElementById("error-filter");
  var table = document.getElementById("error-table");
  if (!box || !table) return;
  var input = box.querySelector("input");
  var rows = table.tBodies[0].rows;
  box.hidden = false;
  input.addEventListener("input", function () {
    var words = input.value.trim().toLowerCase();
    for (var i = 0; i < rows.length; i++) {
      rows[i].hidden = words !== "" && rows[i].textContent.toLowerCase().indexOf(words) < 0;
    }
  });
})();
