{ Free Pascal's TDbf as a peer of the engine's tests: writes dBASE IV tables
  with memos and a production index, appends to tables, and prints what it
  reads. Usage:
    tdbf_peer create DIR NAME LANGID ROWS   a new table DIR/NAME.dbf
    tdbf_peer append FILE.dbf FIRST ROWS    rows FIRST .. FIRST+ROWS-1 added
    tdbf_peer walk FILE.dbf TAG             record numbers in the tag's order
    tdbf_peer rows FILE.dbf                 every row: number|ID|NAME|PRICE|BORN
  The rows are made from their number alone, so a test knows every value. }
program tdbf_peer;
{$mode objfpc}{$H+}
{ TDbf's parser reads a freed text while it reads an UPPER() key; with the C
  heap that read is harmless, with Pascal's own heap it crashes. }
uses cmem, SysUtils, DB, dbf, dbf_dbffile;

const
  Names: array[0..15] of string = ('Zed', 'zed', 'Abc', 'abc', 'Ab', 'Lee Ann',
    'Lee-Ann', 'Lee', 'O''Brien', 'smith', 'SMITH', '~tilde', '  Lead', '',
    'de la Cruz', 'Jones');

function RowName(n: Integer): string;
begin
  Result := Names[n mod 16];
  if (n mod 3 = 0) and (Result <> '') then Result := Result + ' ' + IntToStr(n mod 10);
end;

{ Prices crowd around zero, where orders by value and by bytes part. }
function RowPrice(n: Integer): Double;
begin
  case n mod 7 of
    0: Result := 0;
    1: Result := 0.05;
    2: Result := -0.05;
    3: Result := 0.01;
    4: Result := ((n * 37) mod 2001 - 1000) / 100;
    5: Result := -0.1;
  else Result := (n mod 200) * 1.25;
  end;
end;

function RowBorn(n: Integer): TDateTime;
begin
  Result := EncodeDate(1950, 1, 1) + (n * 97) mod 20000;
end;

procedure Fill(T: TDbf; n: Integer);
begin
  T.FieldByName('ID').AsInteger := n;
  T.FieldByName('NAME').AsString := RowName(n);
  T.FieldByName('PRICE').AsFloat := RowPrice(n);
  if n mod 11 <> 0 then T.FieldByName('BORN').AsDateTime := RowBorn(n);
  T.FieldByName('OK').AsBoolean := n mod 2 = 0;
  if n mod 4 = 0 then T.FieldByName('NOTES').AsString := 'note of row ' + IntToStr(n);
end;

procedure Numeric(T: TDbf; const FieldName: string; Width, Decimals: Integer);
var Def: TFieldDef;
begin
  Def := T.FieldDefs.AddFieldDef;
  Def.Name := FieldName;
  Def.DataType := ftFloat;
  Def.Size := Width;
  Def.Precision := Decimals;
end;

function OpenTable(const FileName: string): TDbf;
begin
  Result := TDbf.Create(nil);
  Result.FilePathFull := ExtractFilePath(ExpandFileName(FileName));
  Result.TableName := ExtractFileName(FileName);
  Result.Exclusive := True;
  Result.Open;
end;

procedure AddRows(T: TDbf; First, Count: Integer);
var n: Integer;
begin
  for n := First to First + Count - 1 do
  begin
    T.Append;
    Fill(T, n);
    T.Post;
  end;
end;

procedure CreateTable(const Dir, Name: string; Lang, Rows: Integer);
var T: TDbf;
begin
  T := TDbf.Create(nil);
  T.FilePathFull := IncludeTrailingPathDelimiter(Dir);
  T.TableName := Name + '.dbf';
  T.TableLevel := 4;
  { TDbf takes a language driver of 0 for "its default" (0x58) unless that
    default is 0 too. }
  DbfGlobals.DefaultCreateLangId := Lang;
  T.LanguageID := Lang;
  Numeric(T, 'ID', 10, 0);
  T.FieldDefs.Add('NAME', ftString, 30, False);
  Numeric(T, 'PRICE', 10, 2);
  T.FieldDefs.Add('BORN', ftDate, 0, False);
  T.FieldDefs.Add('OK', ftBoolean, 0, False);
  T.FieldDefs.Add('NOTES', ftMemo, 0, False);
  T.CreateTable;
  T.Exclusive := True;
  T.Open;
  T.AddIndex('ID', 'ID', []);
  T.AddIndex('NAME', 'NAME', []);
  T.AddIndex('UNAME', 'UPPER(NAME)', [ixExpression]);
  T.AddIndex('PRICE', 'PRICE', []);
  T.AddIndex('BORN', 'DTOS(BORN)', [ixExpression]);
  AddRows(T, 1, Rows);
  T.Close;
  T.Free;
end;

procedure Walk(const FileName, Tag: string);
var T: TDbf;
begin
  T := OpenTable(FileName);
  T.IndexName := Tag;
  T.First;
  while not T.EOF do
  begin
    WriteLn(T.PhysicalRecNo);
    T.Next;
  end;
  T.Close;
  T.Free;
end;

procedure PrintRows(const FileName: string);
var T: TDbf; Born: string;
begin
  T := OpenTable(FileName);
  T.First;
  while not T.EOF do
  begin
    if T.FieldByName('BORN').IsNull then Born := ''
    else Born := FormatDateTime('yyyymmdd', T.FieldByName('BORN').AsDateTime);
    WriteLn(T.PhysicalRecNo, '|', T.FieldByName('ID').AsInteger, '|', T.FieldByName('NAME').AsString,
      '|', FormatFloat('0.00', T.FieldByName('PRICE').AsFloat), '|', Born, '|',
      T.FieldByName('NOTES').AsString);
    T.Next;
  end;
  T.Close;
  T.Free;
end;

var T: TDbf;
begin
  DefaultFormatSettings.DecimalSeparator := '.';
  if ParamStr(1) = 'create' then
    CreateTable(ParamStr(2), ParamStr(3), StrToInt(ParamStr(4)), StrToInt(ParamStr(5)))
  else if ParamStr(1) = 'append' then
  begin
    T := OpenTable(ParamStr(2));
    AddRows(T, StrToInt(ParamStr(3)), StrToInt(ParamStr(4)));
    T.Close;
    T.Free;
  end
  else if ParamStr(1) = 'walk' then
    Walk(ParamStr(2), ParamStr(3))
  else if ParamStr(1) = 'rows' then
    PrintRows(ParamStr(2))
  else
  begin
    WriteLn(StdErr, 'usage: tdbf_peer create|append|walk|rows ...');
    Halt(2);
  end;
end.
