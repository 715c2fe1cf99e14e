namespace Korvanelle
{
    // GetFieldType's values (FIELD_TEXT, FIELD_IMAGE). Field.RawType keeps any other value.
    public enum FieldType
    {
        Text = 0,
        Image = 1,
    }
}
